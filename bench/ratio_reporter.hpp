// A benchmark reporter that passes everything to the display reporter,
// keeps one time per benchmark (the median when there are repetitions, else
// the single run) and prints the requested speed-ups after the table.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct Ratio {
  std::string what;
  std::string slow;  // benchmark names
  std::string fast;
  double target;     // 0: no target
  bool at_most = false;  // the target is a ceiling on the ratio, not a floor
};

class RatioReporter : public benchmark::BenchmarkReporter {
 public:
  RatioReporter(benchmark::BenchmarkReporter* display, std::vector<Ratio> ratios)
      : display_(display), ratios_(std::move(ratios)) {}

  bool ReportContext(const Context& context) override { return display_->ReportContext(context); }

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.function_name;
      const double ns = run.GetAdjustedRealTime() * to_ns(run.time_unit);
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") medians_[name] = ns;
      } else {
        singles_[name] = ns;
      }
    }
    display_->ReportRuns(runs);
  }

  void Finalize() override {
    display_->Finalize();
    std::printf("\nSpeed-ups (%s real times):\n", medians_.empty() ? "single-run" : "median");
    for (const Ratio& r : ratios_) print(r.what.c_str(), time_of(r.slow), time_of(r.fast), r.target, r.at_most);
    std::fflush(stdout);
  }

 protected:
  static double to_ns(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond: return 1;
      case benchmark::kMicrosecond: return 1e3;
      case benchmark::kMillisecond: return 1e6;
      case benchmark::kSecond: return 1e9;
    }
    return 1;
  }

  double time_of(const std::string& name) const {
    auto m = medians_.find(name);
    if (m != medians_.end()) return m->second;
    auto s = singles_.find(name);
    return s == singles_.end() ? NAN : s->second;
  }

  static std::string readable(double ns) {
    char text[32];
    if (ns >= 1e6) {
      std::snprintf(text, sizeof text, "%9.2f ms", ns / 1e6);
    } else if (ns >= 1e3) {
      std::snprintf(text, sizeof text, "%9.2f us", ns / 1e3);
    } else {
      std::snprintf(text, sizeof text, "%9.1f ns", ns);
    }
    return text;
  }

  static void print(const char* what, double slow, double fast, double target, bool at_most = false) {
    if (std::isnan(slow) || std::isnan(fast)) return;  // filtered out
    std::printf("  %-58s %s / %s = %6.2fx", what, readable(slow).c_str(), readable(fast).c_str(), slow / fast);
    const bool met = at_most ? slow / fast <= target : slow / fast >= target;
    if (target > 0) std::printf("  (target %s%.3gx: %s)", at_most ? "at most " : "", target, met ? "met" : "NOT met");
    std::printf("\n");
  }

  benchmark::BenchmarkReporter* display_;
  std::vector<Ratio> ratios_;
  std::map<std::string, double> medians_;
  std::map<std::string, double> singles_;
};
