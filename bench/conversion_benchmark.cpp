// The conversion alone, in memory: a generated flight file streamed through
// FlightFileConverter in blocks of 1 MiB, reported as bytes per second of
// input, with the layout checks and without them. The checks' cost is
// printed at the end: it is meant to stay within 5% of the conversion.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/flight_file_converter.h"
#include "flight_generator.h"

namespace {

constexpr std::size_t kSize = std::size_t{100} << 20;

void BM_ConvertFlightFile(benchmark::State& state) {
  static const std::string input = sectify::bench::generate_flight(kSize, 1);
  const bool check_layout = state.range(0) != 0;
  constexpr std::size_t kBlock = std::size_t{1} << 20;
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

// Prints, after the table, what the checks add to the median time.
class CheckCostReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.aggregate_name != "median") continue;
      (run.benchmark_name().find("checks:1") != std::string::npos ? with_ : without_) =
          run.GetAdjustedRealTime();
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
  }

  // Whether the checks cost more than the target allows.
  bool missed() const { return missed_; }

 private:
  static constexpr double kMostCost = 5;
  double with_ = 0;
  double without_ = 0;
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
