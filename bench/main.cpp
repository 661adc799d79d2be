// The benchmark program: every case of the engine runs beside a floor that does only
// the raw file I/O of the same bytes, and a summary of their ratios ends the output.
// Accepts the usual --benchmark_* options (filter, repetitions, format, out).

#include <benchmark/benchmark.h>

#include <exception>
#include <iostream>
#include <memory>

#include "benchfiles.h"
#include "id3v2_bench.h"
#include "ratioreporter.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  try {
    bench::TBenchFolder folder;
    const std::vector<bench::TBenchPair> pairs = bench::RegisterID3v2Benchmarks(folder);
    bench::TRatioReporter reporter(std::unique_ptr<benchmark::BenchmarkReporter>(benchmark::CreateDefaultDisplayReporter()),
                                   pairs);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
  } catch (const std::exception& e) {
    std::cerr << "sonivex_bench: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
