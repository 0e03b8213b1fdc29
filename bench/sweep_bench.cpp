// Passes per second of the sweep over the first 2000 passes of the first
// column (damping 0.99875, from the initial state: 999 transient passes,
// then measured ones), for the plain transcription of a pass (power by exp
// and ln, the 64-evaluation divergence sample, one thread) and for
// flockchase's pass with one and with two threads. Also the cycles of one
// FlockDerivs evaluation against the floor set by its divisions and square
// roots. Also the passes with one and with two threads while busy loops
// compete for every core. Also the passes of --flow against those of
// --robust --tangent and --robust, and the flow engine's double right-hand
// side against FlockDerivs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/measure/column_pass.hpp"
#include "app/measure/flow_pass.hpp"
#include "app/measure/pair_stepper.hpp"
#include "app/measure/plain_pass.hpp"
#include "app/model/flock_derivs.hpp"
#include "app/model/flock_tangent.hpp"
#include "app/model/flow_derivs.hpp"
#include "ratio_reporter.hpp"

namespace {

using model_test::model;

constexpr int Passes = 2000;

void plain_exp_ln(const Real* state, Real* rates) { plain::flock_derivs_exp_ln(state, rates); }

void BM_Pass_Plain(benchmark::State& st) {
  for (auto _ : st) {
    plain::Column column;
    plain::first_column(column.ref, column.shadow);
    for (int p = 0; p < Passes; ++p) benchmark::DoNotOptimize(plain::pass(column, plain_exp_ln));
  }
  st.SetItemsProcessed(st.iterations() * Passes);
}
BENCHMARK(BM_Pass_Plain)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Passes of the first column, each stepped by `advance`, with the
// measurement options robust and tangent as given.
template <class Advance>
void run_passes(benchmark::State& st, bool robust, bool tangent, Advance advance) {
  for (auto _ : st) {
    plain::ProductionColumn production;
    ColumnPass& pass = production.pass;
    pass.robust = robust;
    if (tangent) StartTangent(pass);
    Real exponent = 0, divergence = 0;
    for (int p = 0; p < Passes; ++p) {
      ++pass.Iteration;
      advance(pass);
      benchmark::DoNotOptimize(FinishPass(pass, exponent, divergence));
    }
  }
  st.SetItemsProcessed(st.iterations() * Passes);
}

void run_production(benchmark::State& st, const PassAdvance& advance) {
  run_passes(st, false, false, [&advance](ColumnPass& pass) { AdvanceBoth(pass, advance); });
}

void run_measured(benchmark::State& st, bool robust, bool tangent, const MeasuredAdvance& advance) {
  run_passes(st, robust, tangent, [&advance](ColumnPass& pass) { AdvanceMeasured(pass, advance); });
}

void measured_on_two_threads(benchmark::State& st, bool robust, bool tangent) {
  PairStepper stepper;
  run_measured(st, robust, tangent, [&stepper](const FlockModel& m, Real* r, Real* s, Real* t, bool by_map) {
    stepper.advance(m, r, s, t, by_map);
  });
  st.counters["times_alone"] = static_cast<double>(stepper.times_alone());
}

void BM_Pass_Robust_OneThread(benchmark::State& st) { run_measured(st, true, false, MeasuredAdvance{}); }
BENCHMARK(BM_Pass_Robust_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_Pass_Robust_TwoThreads(benchmark::State& st) { measured_on_two_threads(st, true, false); }
BENCHMARK(BM_Pass_Robust_TwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_Pass_RobustTangent_OneThread(benchmark::State& st) { run_measured(st, true, true, MeasuredAdvance{}); }
BENCHMARK(BM_Pass_RobustTangent_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same first column's passes under --flow at its default tolerance: one
// thread, whatever --threads says.
void BM_Pass_Flow(benchmark::State& st) {
  std::int64_t steps = 0, rejected = 0;
  for (auto _ : st) {
    plain::ProductionColumn production;
    ColumnPass& pass = production.pass;
    FlowPass flow;
    StartFlow(flow, pass.model, pass.ref, FlowDefaultTolerance);
    Real exponent = 0, divergence = 0;
    for (int p = 0; p < Passes; ++p) {
      ++pass.Iteration;
      benchmark::DoNotOptimize(AdvanceFlow(flow));
      benchmark::DoNotOptimize(FinishFlowPass(pass, flow, exponent, divergence));
    }
    steps = flow.engine.steps;
    rejected = flow.engine.rejected;
  }
  st.SetItemsProcessed(st.iterations() * Passes);
  st.counters["steps_per_pass"] = static_cast<double>(steps) / Passes;
  st.counters["rejected_share"] = static_cast<double>(rejected) / static_cast<double>(steps + rejected);
}
BENCHMARK(BM_Pass_Flow)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pass_Tangent_OneThread(benchmark::State& st) { run_measured(st, false, true, MeasuredAdvance{}); }
BENCHMARK(BM_Pass_Tangent_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_Pass_Tangent_TwoThreads(benchmark::State& st) { measured_on_two_threads(st, false, true); }
BENCHMARK(BM_Pass_Tangent_TwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();

// One evaluation of the tangent dynamics, beside BM_FlockDerivs.
void BM_FlockTangent(benchmark::State& st) {
  plain::Column column;
  plain::first_column(column.ref, column.shadow);
  plain::ProductionColumn production;
  StartTangent(production.pass);
  const Real* const tangent = production.pass.tangent.data();
  Real rates[33];
  for (auto _ : st) {
    FlockTangent(model, column.ref, tangent, rates);
    benchmark::DoNotOptimize(rates);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FlockTangent);

void BM_Pass_OneThread(benchmark::State& st) { run_production(st, PassAdvance{}); }
BENCHMARK(BM_Pass_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pass_TwoThreads(benchmark::State& st) {
  PairStepper stepper;
  run_production(st, [&stepper](const FlockModel& m, Real* r, Real* s) { stepper.advance(m, r, s); });
  // The share of shadow steps the calling thread had to take itself.
  st.counters["taken_back"] = static_cast<double>(stepper.steps_taken_back()) /
                              static_cast<double>(stepper.steps_taken_back() + stepper.steps_by_worker());
  st.counters["times_alone"] = static_cast<double>(stepper.times_alone());
}
BENCHMARK(BM_Pass_TwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same passes while as many busy loops as the machine has cores compete
// for them, as when a compiler runs beside a sweep: the worker is then often
// not running when the calling thread needs it.
class BusyLoops {
 public:
  BusyLoops() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i)
      loops_.emplace_back([this] {
        while (!stop_.load(std::memory_order_relaxed)) benchmark::DoNotOptimize(spins_++);
      });
  }
  ~BusyLoops() {
    stop_.store(true);
    for (std::thread& loop : loops_) loop.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> loops_;
  std::uint64_t spins_ = 0;
};

void BM_Pass_OneThread_Busy(benchmark::State& st) {
  BusyLoops busy;
  run_production(st, PassAdvance{});
}
BENCHMARK(BM_Pass_OneThread_Busy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pass_TwoThreads_Busy(benchmark::State& st) {
  BusyLoops busy;
  PairStepper stepper;
  run_production(st, [&stepper](const FlockModel& m, Real* r, Real* s) { stepper.advance(m, r, s); });
  st.counters["times_alone"] = static_cast<double>(stepper.times_alone());
}
BENCHMARK(BM_Pass_TwoThreads_Busy)->Unit(benchmark::kMillisecond)->UseRealTime();

// One FlockDerivs on the state the first column reaches after its transient.
void BM_FlockDerivs(benchmark::State& st) {
  plain::Column column;
  plain::first_column(column.ref, column.shadow);
  for (int p = 0; p < 999; ++p) plain::pass(column, plain::flock_derivs_fast);
  Real rates[33];
  for (auto _ : st) {
    FlockDerivs(model, column.ref, rates);
    benchmark::DoNotOptimize(rates);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FlockDerivs);

// The flow engine's double right-hand side on the same state, alone and
// with the tangent beside it.
void BM_FlowDerivs(benchmark::State& st) {
  plain::Column column;
  plain::first_column(column.ref, column.shadow);
  for (int p = 0; p < 999; ++p) plain::pass(column, plain::flock_derivs_fast);
  FlowVector x{}, rates{};
  for (int i = 0; i < StateSize; ++i) x[i] = static_cast<double>(column.ref[i + 1]);
  const double damping = static_cast<double>(model.FlockDamping);
  for (auto _ : st) {
    FlowDerivs(damping, x.data(), rates.data());
    benchmark::DoNotOptimize(rates);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FlowDerivs);

void BM_FlowJoinedDerivs(benchmark::State& st) {
  plain::Column column;
  plain::first_column(column.ref, column.shadow);
  FlowVector x{}, rates{};
  for (int i = 0; i < StateSize; ++i) {
    x[i] = static_cast<double>(column.ref[i + 1]);
    x[StateSize + i] = 1 / std::sqrt(32.0);
  }
  const double damping = static_cast<double>(model.FlockDamping);
  for (auto _ : st) {
    FlowJoinedDerivs(damping, x.data(), rates.data());
    benchmark::DoNotOptimize(rates);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FlowJoinedDerivs);

// Throughput of extended-precision division and square root: eight
// independent chains, so the time per operation is the issue rate, not the
// latency. A FlockDerivs evaluation must do 128 divisions and 21 square
// roots; nothing it does can take less than those.
constexpr int Lanes = 8;
constexpr int Rounds = 256;

void BM_Divide(benchmark::State& st) {
  Real x[Lanes];
  for (int i = 0; i < Lanes; ++i) x[i] = 1.5L + i;
  const Real d = 1.0000001L;
  for (auto _ : st) {
    for (int r = 0; r < Rounds; ++r)
      for (int i = 0; i < Lanes; ++i) x[i] = d / x[i];
    benchmark::DoNotOptimize(x);
  }
  st.SetItemsProcessed(st.iterations() * Rounds * Lanes);
}
BENCHMARK(BM_Divide);

void BM_SquareRoot(benchmark::State& st) {
  Real x[Lanes];
  for (int i = 0; i < Lanes; ++i) x[i] = 1.5L + i;
  for (auto _ : st) {
    for (int r = 0; r < Rounds; ++r)
      for (int i = 0; i < Lanes; ++i) x[i] = std::sqrt(x[i] + 1.0L);
    benchmark::DoNotOptimize(x);
  }
  st.SetItemsProcessed(st.iterations() * Rounds * Lanes);
}
BENCHMARK(BM_SquareRoot);

class SweepReporter : public RatioReporter {
 public:
  using RatioReporter::RatioReporter;
  bool ReportContext(const Context& context) override {
    cycles_per_ns_ = context.cpu_info.cycles_per_second / 1e9;
    return RatioReporter::ReportContext(context);
  }
  void Finalize() override {
    RatioReporter::Finalize();
    const double derivs = time_of("BM_FlockDerivs");
    const double divide = time_of("BM_Divide") / (Rounds * Lanes);
    const double root = time_of("BM_SquareRoot") / (Rounds * Lanes);
    if (std::isnan(derivs) || std::isnan(divide) || std::isnan(root)) return;
    const double floor = 128 * divide + 21 * root;
    std::printf("\nFlockDerivs: %.0f ns = %.0f cycles at %.2f GHz; floor of 128 divisions (%.1f cycles each) and 21\n"
                "square roots (%.1f cycles each): %.0f ns = %.0f cycles; the evaluation takes %.2f times the floor.\n",
                derivs, derivs * cycles_per_ns_, cycles_per_ns_, divide * cycles_per_ns_, root * cycles_per_ns_, floor,
                floor * cycles_per_ns_, derivs / floor);
    std::fflush(stdout);
  }

 private:
  double cycles_per_ns_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SweepReporter reporter(benchmark::CreateDefaultDisplayReporter(),
                         {{"pass, plain transcription / flockchase with one thread", "BM_Pass_Plain",
                           "BM_Pass_OneThread", 12},
                          {"pass, plain transcription / flockchase with two threads", "BM_Pass_Plain",
                           "BM_Pass_TwoThreads", 25},
                          {"pass, one thread / two threads", "BM_Pass_OneThread", "BM_Pass_TwoThreads", 0},
                          {"pass beside busy loops, one thread / two threads", "BM_Pass_OneThread_Busy",
                           "BM_Pass_TwoThreads_Busy", 0},
                          {"pass with one thread, --robust / default", "BM_Pass_OneThread",
                           "BM_Pass_Robust_OneThread", 0.9},
                          {"pass with two threads, --robust / default", "BM_Pass_TwoThreads",
                           "BM_Pass_Robust_TwoThreads", 0.9},
                          {"pass with one thread, --tangent / default", "BM_Pass_OneThread",
                           "BM_Pass_Tangent_OneThread", 0},
                          {"pass with two threads, --tangent / default", "BM_Pass_TwoThreads",
                           "BM_Pass_Tangent_TwoThreads", 0},
                          {"FlockDerivs / FlockTangent", "BM_FlockDerivs", "BM_FlockTangent", 0},
                          {"pass, --robust --tangent with one thread / --flow", "BM_Pass_RobustTangent_OneThread",
                           "BM_Pass_Flow", 15},
                          {"pass, --robust with two threads / --flow", "BM_Pass_Robust_TwoThreads", "BM_Pass_Flow", 5},
                          {"pass, --robust with one thread / --flow", "BM_Pass_Robust_OneThread", "BM_Pass_Flow", 0},
                          {"FlockDerivs / FlowDerivs (double)", "BM_FlockDerivs", "BM_FlowDerivs", 4},
                          {"FlockDerivs / FlowJoinedDerivs (state and tangent)", "BM_FlockDerivs",
                           "BM_FlowJoinedDerivs", 0}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
