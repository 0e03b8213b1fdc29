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

#include "app/model/capture_detector.hpp"
#include "app/model/divergence.hpp"
#include "app/model/flock_derivs.hpp"
#include "app/model/gauss_deviate.hpp"
#include "app/model/integrator.hpp"
#include "app/model/plain_model.hpp"
#include "ratio_reporter.hpp"

namespace {

using model_test::model;

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
    model.FlockDamping = 0.5L;
    Real derivs[33];
    for (int i = 0; i < 1000; ++i) StepAdaptive(model, state, derivs, 0.01L, state);
    // The number of sub-steps a step from here takes.
    Real coarse[33], halves[33];
    StepRK4(model, state, derivs, 0.01L, coarse);
    StepRK4(model, state, derivs, 0.005L, halves);
    StepRK4(model, halves, derivs, 0.005L, halves);
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
    FlockDerivs(model, s.state, rates);
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
    StepAdaptive(model, s.state, derivs, 0.01L, out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  st.counters["k"] = s.sub_steps;
}
BENCHMARK(BM_StepAdaptive);

void production_derivs(const Real* s, Real* r) { FlockDerivs(model, s, r); }

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
    AddDivergenceSample(model, s.state, Epsilon, sum);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_Divergence_Sample);

// The detector's dearest pass short of a capture: the same body nearest and
// close for the whole window, its energy falling in every quarter but at
// twice the analytic rate, so that both slopes are fitted and then refused.
void BM_CaptureObserve_Dearest(benchmark::State& st) {
  const double damping = 0.15, g = PairDrag(damping), interval = 0.01;
  CaptureDetector detector(interval);
  CaptureSample sample{3, 5e-4, 0, 0};
  std::int64_t n = 0;
  const auto next = [&] {
    ++n;
    sample.energy = -2 * (5.0 / 3.0) * g * interval * static_cast<double>(n);
    sample.log_momentum = -g * interval * static_cast<double>(n);
    return detector.observe_sample(sample, damping);
  };
  for (int i = 0; i < 400; ++i) next();
  for (auto _ : st) {
    auto event = next();
    benchmark::DoNotOptimize(event);
  }
}
BENCHMARK(BM_CaptureObserve_Dearest);

// The common pass: the chaser's nearest body changed within the window.
void BM_CaptureObserve_Sweep(benchmark::State& st) {
  const SweepState& s = sweep_state();
  CaptureDetector detector(0.01);
  for (auto _ : st) {
    auto event = detector.observe(s.state, 0.15);
    benchmark::DoNotOptimize(event);
  }
}
BENCHMARK(BM_CaptureObserve_Sweep);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(
      benchmark::CreateDefaultDisplayReporter(),
      {{"FlockDerivs, plain with exp/ln power / production", "BM_FlockDerivs_PlainExpLn", "BM_FlockDerivs", 8},
       {"FlockDerivs, plain with fast power / production", "BM_FlockDerivs_PlainFastPower", "BM_FlockDerivs", 0},
       {"StepAdaptive, plain / production", "BM_StepAdaptive_Plain", "BM_StepAdaptive", 0},
       {"Divergence sample, 64-evaluation loop / one-pass routine", "BM_Divergence_Loop64", "BM_Divergence_Sample",
        20},
       {"StepAdaptive / capture detector's dearest pass", "BM_StepAdaptive", "BM_CaptureObserve_Dearest", 0},
       {"StepAdaptive / capture detector on a sweep state", "BM_StepAdaptive", "BM_CaptureObserve_Sweep", 0}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
