// Benchmark support: Google Benchmark's console output, plus the real time
// per iteration of every run kept by name, so that a program can print the
// ratio of two runs measured in the same process.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lessonry::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        seconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  // The time per iteration of the run of that name (in the run's unit), if it ran.
  std::optional<double> time(const std::string& name) const {
    const auto it = seconds_.find(name);
    if (it == seconds_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace lessonry::bench
