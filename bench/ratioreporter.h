#pragma once
// Passes every result on to the usual display reporter and, at the end, prints for each
// case the engine's time beside its raw-I/O floor, their ratio and the target.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace bench {

struct TBenchPair {
  std::string Case;    // shown in the summary
  std::string Engine;  // benchmark names as registered
  std::string Floor;
  double Target;  // the largest acceptable engine/floor ratio
};

// The fastest repetition, registered with every benchmark as the statistic "min" so
// that it reaches the summary even when only aggregates are displayed.
double MinOf(const std::vector<double>& values);

class TRatioReporter : public benchmark::BenchmarkReporter {
 public:
  TRatioReporter(std::unique_ptr<benchmark::BenchmarkReporter> display, std::vector<TBenchPair> pairs);

  bool ReportContext(const Context& context) override;
  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

 private:
  struct TSamples {
    std::vector<double> Seconds;              // per repetition, when those are reported
    std::map<std::string, double> Aggregate;  // "median", "min", ... in seconds
    int64_t Repetitions = 0;
    // Seconds per iteration; < 0 when not measured.
    double Median() const;
    double Best() const;
  };
  const TSamples* Find(const std::string& name) const;

  std::unique_ptr<benchmark::BenchmarkReporter> Display_;
  std::vector<TBenchPair> Pairs_;
  std::map<std::string, TSamples> Samples_;
};

}  // namespace bench
