// Times the chase model's arithmetic against its plain transcriptions and
// prints the speed-ups after the table. Run with --benchmark_repetitions=N
// to have the speed-ups taken from the medians.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/model/divergence.hpp"
#include "app/model/flock_derivs.hpp"
#include "app/model/gauss_deviate.hpp"
#include "app/model/integrator.hpp"
#include "app/model/model_globals.hpp"
#include "app/model/plain_model.hpp"

namespace {

const Real Epsilon = widen(1e-8f);

// A state as the sweep sees it: the program's initial positions, small
// random velocities, then 1000 steps at damping 0.5.
struct SweepState {
  Real state[33] = {};
  int sub_steps = 0;
  SweepState() {
    for (int k = 1; k <= 8; ++k) {
      state[4 * k - 3] = GaussDeviate();
      state[4 * k - 2] = GaussDeviate();
    }
    for (int k = 1; k <= 8; ++k) {
      state[4 * k - 1] = widen(0.01f) * GaussDeviate();
      state[4 * k] = widen(0.01f) * GaussDeviate();
    }
    FlockDamping() = 0.5L;
    Real derivs[33];
    for (int i = 0; i < 1000; ++i) StepAdaptive(state, derivs, 32, 0.01L, state);
    // The number of sub-steps a step from here takes.
    Real coarse[33], halves[33];
    StepRK4(state, derivs, 32, 0.01L, coarse);
    StepRK4(state, derivs, 32, 0.005L, halves);
    StepRK4(halves, derivs, 32, 0.005L, halves);
    Real err = 0;
    for (int i = 1; i <= 32; ++i) err = std::fmax(err, std::fabs(coarse[i] - halves[i]));
    sub_steps = SubStepCount(err);
  }
};

const SweepState& sweep_state() {
  static const SweepState s;
  return s;
}

void BM_FlockDerivs_PlainExpLn(benchmark::State& st) {
  const SweepState& s = sweep_state();
  Real rates[33];
  for (auto _ : st) {
    plain::flock_derivs_exp_ln(s.state, rates);
    benchmark::DoNotOptimize(rates);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FlockDerivs_PlainExpLn);

void BM_FlockDerivs_PlainFastPower(benchmark::State& st) {
  const SweepState& s = sweep_state();
  Real rates[33];
  for (auto _ : st) {
    plain::flock_derivs_fast(s.state, rates);
    benchmark::DoNotOptimize(rates);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FlockDerivs_PlainFastPower);

void BM_FlockDerivs(benchmark::State& st) {
  const SweepState& s = sweep_state();
  Real rates[33];
  for (auto _ : st) {
    FlockDerivs(s.state, rates, 32);
    benchmark::DoNotOptimize(rates);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FlockDerivs);

void BM_StepAdaptive_Plain(benchmark::State& st) {
  const SweepState& s = sweep_state();
  Real out[33], derivs[33];
  for (auto _ : st) {
    plain::step_adaptive(s.state, derivs, 32, 0.01L, out, plain::flock_derivs_fast);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  st.counters["k"] = s.sub_steps;
}
BENCHMARK(BM_StepAdaptive_Plain);

void BM_StepAdaptive(benchmark::State& st) {
  const SweepState& s = sweep_state();
  Real out[33], derivs[33];
  for (auto _ : st) {
    StepAdaptive(s.state, derivs, 32, 0.01L, out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  st.counters["k"] = s.sub_steps;
}
BENCHMARK(BM_StepAdaptive);

void production_derivs(const Real* s, Real* r) { FlockDerivs(s, r, 32); }

void BM_Divergence_Loop64(benchmark::State& st) {
  Real state[33], derivs[33];
  for (int i = 0; i <= 32; ++i) state[i] = sweep_state().state[i];
  for (auto _ : st) {
    Real sum = 0;
    plain::divergence_loop(state, derivs, Epsilon, sum, production_derivs);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_Divergence_Loop64);

void BM_Divergence_Sample(benchmark::State& st) {
  const SweepState& s = sweep_state();
  for (auto _ : st) {
    Real sum = 0;
    AddDivergenceSample(s.state, Epsilon, sum);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_Divergence_Sample);

// Passes everything to the display reporter and keeps one time per
// benchmark: the median when there are repetitions, else the single run.
class RatioReporter : public benchmark::BenchmarkReporter {
 public:
  explicit RatioReporter(benchmark::BenchmarkReporter* display) : display_(display) {}

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
    const double exp_ln = time_of("BM_FlockDerivs_PlainExpLn");
    const double fast = time_of("BM_FlockDerivs_PlainFastPower");
    const double production = time_of("BM_FlockDerivs");
    const double step_plain = time_of("BM_StepAdaptive_Plain");
    const double step = time_of("BM_StepAdaptive");
    const double loop = time_of("BM_Divergence_Loop64");
    const double sample = time_of("BM_Divergence_Sample");
    std::printf("\nSpeed-ups (%s real times):\n", medians_.empty() ? "single-run" : "median");
    ratio("FlockDerivs, plain with exp/ln power / production", exp_ln, production, 8);
    ratio("FlockDerivs, plain with fast power / production", fast, production, 0);
    ratio("StepAdaptive, plain / production", step_plain, step, 0);
    ratio("Divergence sample, 64-evaluation loop / one-pass routine", loop, sample, 20);
    std::fflush(stdout);
  }

 private:
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

  static void ratio(const char* what, double slow, double fast, double target) {
    if (std::isnan(slow) || std::isnan(fast)) return;  // filtered out
    std::printf("  %-58s %8.1f ns / %8.1f ns = %6.2fx", what, slow, fast, slow / fast);
    if (target > 0) std::printf("  (target %.0fx: %s)", target, slow / fast >= target ? "met" : "NOT met");
    std::printf("\n");
  }

  std::unique_ptr<benchmark::BenchmarkReporter> display_;
  std::map<std::string, double> medians_;
  std::map<std::string, double> singles_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(benchmark::CreateDefaultDisplayReporter());
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
