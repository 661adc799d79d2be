#include "ratioreporter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace bench {
namespace {

double SecondsPerIteration(const benchmark::BenchmarkReporter::Run& run) {
  return run.iterations > 0 ? run.real_accumulated_time / double(run.iterations) : run.real_accumulated_time;
}

std::string FormatTime(double seconds) {
  char text[32];
  if (seconds < 1e-3) std::snprintf(text, sizeof text, "%8.1f us", seconds * 1e6);
  else if (seconds < 1.0) std::snprintf(text, sizeof text, "%8.2f ms", seconds * 1e3);
  else std::snprintf(text, sizeof text, "%8.3f s ", seconds);
  return text;
}

}  // namespace

double MinOf(const std::vector<double>& values) {
  return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

double TRatioReporter::TSamples::Median() const {
  if (!Seconds.empty()) {
    std::vector<double> sorted = Seconds;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
  for (const char* name : {"median", "mean"})
    if (const auto it = Aggregate.find(name); it != Aggregate.end()) return it->second;
  return -1;
}

double TRatioReporter::TSamples::Best() const {
  if (!Seconds.empty()) return MinOf(Seconds);
  if (const auto it = Aggregate.find("min"); it != Aggregate.end()) return it->second;
  return Median();
}

TRatioReporter::TRatioReporter(std::unique_ptr<benchmark::BenchmarkReporter> display,
                               std::vector<TBenchPair> pairs)
    : Display_(std::move(display)), Pairs_(std::move(pairs)) {}

bool TRatioReporter::ReportContext(const Context& context) {
  Display_->SetOutputStream(&GetOutputStream());
  Display_->SetErrorStream(&GetErrorStream());
  return Display_->ReportContext(context);
}

void TRatioReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    if (run.error_occurred) continue;
    TSamples& samples = Samples_[run.run_name.function_name];
    samples.Repetitions = std::max(samples.Repetitions, run.repetitions);
    if (run.run_type == Run::RT_Iteration) samples.Seconds.push_back(SecondsPerIteration(run));
    else if (run.aggregate_unit == benchmark::kTime) samples.Aggregate[run.aggregate_name] = SecondsPerIteration(run);
  }
  Display_->ReportRuns(runs);
}

const TRatioReporter::TSamples* TRatioReporter::Find(const std::string& name) const {
  const auto it = Samples_.find(name);
  return it == Samples_.end() ? nullptr : &it->second;
}

void TRatioReporter::Finalize() {
  Display_->Finalize();
  std::ostream& out = GetOutputStream();
  char line[200];
  out << "\nEngine against the raw file I/O of the same bytes\n"
         "(times and verdict: medians over the repetitions; best: ratio of the fastest repetitions)\n";
  std::snprintf(line, sizeof line, "%-14s %12s %12s %8s %8s %8s %5s  %s\n", "case", "engine", "raw floor", "ratio",
                "best", "target", "runs", "verdict");
  out << line;
  for (const TBenchPair& pair : Pairs_) {
    const TSamples* engine = Find(pair.Engine);
    const TSamples* floor = Find(pair.Floor);
    if (engine == nullptr || floor == nullptr || engine->Median() <= 0 || floor->Median() <= 0) {
      std::snprintf(line, sizeof line, "%-14s %12s %12s %8s %8s %7.2fx %5s  %s\n", pair.Case.c_str(), "-", "-", "-",
                    "-", pair.Target, "-", "not run");
      out << line;
      continue;
    }
    const double ratio = engine->Median() / floor->Median();
    const double best = floor->Best() > 0 ? engine->Best() / floor->Best() : ratio;
    const int64_t runs = std::min(std::max<int64_t>(engine->Repetitions, int64_t(engine->Seconds.size())),
                                  std::max<int64_t>(floor->Repetitions, int64_t(floor->Seconds.size())));
    std::snprintf(line, sizeof line, "%-14s %12s %12s %7.2fx %7.2fx %7.2fx %5lld  %s\n", pair.Case.c_str(),
                  FormatTime(engine->Median()).c_str(), FormatTime(floor->Median()).c_str(), ratio, best,
                  pair.Target, static_cast<long long>(runs), ratio <= pair.Target ? "met" : "MISSED");
    out << line;
  }
  out.flush();
}

}  // namespace bench
