// The conversion alone, in memory: a generated flight file streamed through
// FlightFileConverter in blocks of 1 MiB, reported as bytes per second of
// input.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "flight_generator.h"
#include "flight_text.h"

namespace {

void BM_ConvertFlightFile(benchmark::State& state) {
  const std::string input =
      sectify::bench::generate_flight(static_cast<std::size_t>(state.range(0)), 1);
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  for (auto _ : state) {
    sectify::FlightFileConverter converter;
    std::size_t written = 0;
    for (std::size_t at = 0; at < input.size(); at += kBlock) {
      written += converter.convert(std::string_view(input).substr(at, kBlock)).size();
    }
    written += converter.finish().size();
    benchmark::DoNotOptimize(written);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}
BENCHMARK(BM_ConvertFlightFile)->Arg(100 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
