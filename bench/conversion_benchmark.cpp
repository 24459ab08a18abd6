// The conversion alone, in memory: a generated flight file streamed through
// FlightFileConverter in blocks of 1 MiB, reported as bytes per second of
// input, with the layout checks and without them, and memcpy of the same
// bytes in blocks of the same size, the machine's own limit. Printed at the
// end: the checks' cost, meant to stay within 5% of the conversion, and the
// conversion's speed against memcpy's. Built twice, with the SSE2 scan and
// with the plain one (conversion_benchmark_plain), which scan_speed.py
// compares.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/flight_file_converter.h"
#include "flight_generator.h"

namespace {

constexpr std::size_t kSize = std::size_t{100} << 20;
constexpr std::size_t kBlock = std::size_t{512} << 10;

// Returns the flight that every benchmark here takes, made once.
const std::string& flight() {
  static const std::string input = sectify::bench::generate_flight(kSize, 1);
  return input;
}

void BM_ConvertFlightFile(benchmark::State& state) {
  const std::string& input = flight();
  const bool check_layout = state.range(0) != 0;
  for (auto _ : state) {
    sectify::FlightFileConverter converter(check_layout);
    std::size_t written = 0;
    for (std::size_t at = 0; at < input.size(); at += kBlock) {
      written += converter.convert(std::string_view(input).substr(at, kBlock)).size();
    }
    written += converter.finish().size();
    benchmark::DoNotOptimize(written);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}
BENCHMARK(BM_ConvertFlightFile)
    ->ArgName("checks")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_Memcpy(benchmark::State& state) {
  const std::string& input = flight();
  std::string output(kBlock, '\0');
  for (auto _ : state) {
    for (std::size_t at = 0; at < input.size(); at += kBlock) {
      const std::size_t n = std::min(kBlock, input.size() - at);
      std::memcpy(output.data(), input.data() + at, n);
      benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Prints, after the table, what the checks add to the median time, and the
// conversion's speed against memcpy's.
class CheckCostReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.aggregate_name != "median") continue;
      const std::string name = run.benchmark_name();
      double& time = name.find("Memcpy") != std::string::npos     ? memcpy_
                     : name.find("checks:1") != std::string::npos ? with_
                                                                  : without_;
      time = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (without_ > 0) {
      const double cost = 100.0 * (with_ - without_) / without_;
      missed_ = cost > kMostCost;
      std::printf(
          "%s layout checks at 100 MB: %+.1f%% of the conversion time (target at most +%g%%)\n",
          missed_ ? "FAIL" : "ok  ", cost, kMostCost);
    }
    if (without_ > 0 && memcpy_ > 0) {
      // Both in milliseconds for the same bytes.
      const double megabytes = static_cast<double>(kSize) / 1e6;
      std::printf(
          "      conversion %.0f MB/s, memcpy %.0f MB/s: the conversion takes %.1f times "
          "memcpy's time (no target)\n",
          megabytes / without_ * 1e3, megabytes / memcpy_ * 1e3, without_ / memcpy_);
    }
  }

  // Whether the checks cost more than the target allows.
  bool missed() const { return missed_; }

 private:
  static constexpr double kMostCost = 5;
  double with_ = 0;
  double without_ = 0;
  double memcpy_ = 0;
  bool missed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  CheckCostReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.missed() ? 1 : 0;
}
