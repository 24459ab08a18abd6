// Measures Sectify against the cheapest thing a program can do with the
// same file, copying it with dd, and against the literal algorithm:
//   bench_sectify --program=PATH --dir=DIR [--runs=N] [--sizes=1,10,100]
// Before reporting any figure it checks that Sectify's output is byte for
// byte what the rules give. POSIX only.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "flight_generator.h"
#include "flight_text.h"
#include "literal_conversion.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
  double seconds;
  long peak_kib;
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out.flush());
}

// Runs `argv` with its output discarded; returns its wall time and peak
// resident memory, or exits if it fails. The child is forked, not spawned
// with a shared address space, so that its peak memory starts from this
// process's current memory, not from its peak.
Timing run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_sectify: %s failed\n", args[0]);
    std::exit(1);
  }
  return {std::chrono::duration<double>(Clock::now() - start).count(), usage.ru_maxrss};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string with_line_ends(const std::string& text, const char* from, const char* to) {
  std::string result;
  const std::string_view f(from);
  for (std::size_t at = 0;;) {
    const std::size_t next = text.find(f, at);
    result.append(text, at, next == std::string::npos ? std::string::npos : next - at);
    if (next == std::string::npos) return result;
    result += to;
    at = next + f.size();
  }
}

struct Row {
  double megabytes;
  double sectify_seconds;
  double dd_seconds;
  double peak_mib;
  double memory_bound_mib;
};

}  // namespace

int main(int argc, char** argv) {
  std::string program;
  std::string dir;
  int runs = 7;
  std::vector<std::size_t> sizes_mb = {1, 10, 100};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--program=", 0) == 0)
      program = arg.substr(10);
    else if (arg.rfind("--dir=", 0) == 0)
      dir = arg.substr(6);
    else if (arg.rfind("--runs=", 0) == 0)
      runs = std::max(1, std::atoi(arg.c_str() + 7));
    else if (arg.rfind("--sizes=", 0) == 0) {
      sizes_mb.clear();
      for (std::size_t at = 8; at < arg.size();) {
        sizes_mb.push_back(std::strtoull(arg.c_str() + at, nullptr, 10));
        const std::size_t comma = arg.find(',', at);
        at = comma == std::string::npos ? arg.size() : comma + 1;
      }
    } else {
      std::fprintf(stderr, "bench_sectify: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (program.empty() || dir.empty()) {
    std::fputs("usage: bench_sectify --program=PATH --dir=DIR [--runs=N] [--sizes=1,10,100]\n",
               stderr);
    return 2;
  }

  std::vector<Row> rows;
  double literal_seconds = 0;
  double literal_megabytes = 0;
  for (std::size_t mb : sizes_mb) {
    const std::string input = dir + "/flight-" + std::to_string(mb) + "M.fxml";
    const std::string output = dir + "/flight-" + std::to_string(mb) + "M.flt";
    const std::string copy = dir + "/flight-" + std::to_string(mb) + "M.copy";
    const std::string expected_path = dir + "/flight-" + std::to_string(mb) + "M.expected";
    std::size_t file_size = 0;
    {
      std::string flight = sectify::bench::generate_flight(mb << 20, 1);
      file_size = flight.size();
      // The expected output: the literal algorithm where it finishes in
      // seconds, else the same rules one after the other with the linear
      // replace_all, which the tests hold to the literal algorithm.
      std::string expected = with_line_ends(flight, "\r\n", "\n");
      if (!write_file(input, flight)) {
        std::fprintf(stderr, "bench_sectify: cannot write %s\n", input.c_str());
        return 1;
      }
      flight = std::string();
      if (mb <= 1) {
        const auto start = Clock::now();
        sectify::literal::convert_flight_text(expected);
        literal_seconds = std::chrono::duration<double>(Clock::now() - start).count();
        literal_megabytes = static_cast<double>(mb);
      } else {
        sectify::literal::convert_rule_by_rule(expected, sectify::replace_all);
      }
      if (!write_file(expected_path, with_line_ends(expected, "\n", "\r\n"))) {
        std::fprintf(stderr, "bench_sectify: cannot write %s\n", expected_path.c_str());
        return 1;
      }
    }
    // The texts are freed before any run, so that forked children start
    // small.
    run({program, input});
    if (read_file(output) != read_file(expected_path)) {
      std::fprintf(stderr, "bench_sectify: %s differs from %s\n", output.c_str(),
                   expected_path.c_str());
      return 1;
    }
    std::remove(expected_path.c_str());

    std::vector<double> sectify_times;
    std::vector<double> dd_times;
    long peak_kib = 0;
    for (int i = 0; i < runs; ++i) {
      const Timing timing = run({program, input});
      sectify_times.push_back(timing.seconds);
      peak_kib = std::max(peak_kib, timing.peak_kib);
      dd_times.push_back(run({"dd", "if=" + input, "of=" + copy, "bs=1M"}).seconds);
    }
    const double file_mib = static_cast<double>(file_size) / (1 << 20);
    rows.push_back({static_cast<double>(file_size) / 1e6, median(sectify_times), median(dd_times),
                    static_cast<double>(peak_kib) / 1024, 1.1 * file_mib + 16});
    std::remove(input.c_str());
    std::remove(output.c_str());
    std::remove(copy.c_str());
  }

  std::printf("%10s %12s %10s %8s %14s %14s\n", "size (MB)", "Sectify (s)", "dd (s)", "ratio",
              "peak RSS (MiB)", "bound (MiB)");
  for (const Row& row : rows) {
    std::printf("%10.1f %12.4f %10.4f %8.2f %14.1f %14.1f\n", row.megabytes, row.sectify_seconds,
                row.dd_seconds, row.sectify_seconds / row.dd_seconds, row.peak_mib,
                row.memory_bound_mib);
  }
  for (std::size_t i = 1; i < rows.size(); ++i) {
    std::printf("time for %.0f MB / time for %.0f MB: %.2f (size ratio %.1f)\n", rows[i].megabytes,
                rows[i - 1].megabytes, rows[i].sectify_seconds / rows[i - 1].sectify_seconds,
                rows[i].megabytes / rows[i - 1].megabytes);
  }
  if (literal_megabytes > 0) {
    std::printf(
        "literal algorithm on %.0f MB: %.3f s in-process; Sectify end to end: %.4f s; "
        "speed-up %.0fx\n",
        literal_megabytes, literal_seconds, rows.front().sectify_seconds,
        literal_seconds / rows.front().sectify_seconds);
  }
  return 0;
}
