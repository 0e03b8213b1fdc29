// The batch engine against the scalar flow engine and against a plain
// Boost.Odeint program on the model, per trajectory and unit of model time:
// eight trajectories of 40 units each per iteration, every lane its own
// start near a committed chaotic-band state (damping 0.40125, the peers'
// comparison) or in the capture band (damping 0.1, lanes restarted from
// fresh states where their pair collapses), on every vector target the
// machine has; the lanes' use (the share of lane-tries that did work); and
// one thread against two on sixteen trajectories.
#include <benchmark/benchmark.h>

#include <boost/numeric/odeint.hpp>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/lanes/batch_engine.hpp"
#include "app/measure/flow_pass.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/capture_detector.hpp"
#include "app/model/flow_error.hpp"
#include "app/model/flow_reference.hpp"
#include "ratio_reporter.hpp"

namespace {

constexpr int Trajectories = BatchLanes;
constexpr int Units = 40;
constexpr int PassesEach = Units * 100;
const double Span = static_cast<double>(TimeStep);
constexpr double Chaotic = 0.40125;
constexpr double Capture = 0.1;

// Starts on the model's attractor: a committed sweep state (after column
// 372 for the chaotic band, after 132 for the capture band), perturbed by
// 1e-6 per trajectory, carried through a transient of 10 units by the
// scalar engine.
const std::vector<std::array<double, StateSize>>& starts(double damping) {
  static std::map<double, std::vector<std::array<double, StateSize>>> made;
  auto& all = made[damping];
  if (!all.empty()) return all;
  const FlockState committed = flow_test::checkpoint_state(damping < 0.2 ? "after_column_132" : "after_column_372");
  for (int t = 0; t < 2 * Trajectories; ++t) {
    FlockState start = committed;
    for (int i = 1; i <= StateSize; ++i) start[i] = start[i] * (1 + 1e-6L * t);
    FlowPass flow;
    StartFlow(flow, FlockModel{damping}, start, FlowDefaultTolerance);
    for (int p = 0; p < 1000 && AdvanceFlow(flow); ++p) {
    }
    std::array<double, StateSize> s{};
    for (int i = 0; i < StateSize; ++i) s[i] = flow.engine.x[i];
    all.push_back(s);
  }
  return all;
}

// A trajectory's course, as a member runs it: its passes up to the budget,
// the capture detector fed every mark, and a fresh start where it declares
// a capture or where the engine stops.
class Course {
 public:
  Course(double damping, std::uint64_t seed) : damping_(damping), detector_(Span, CaptureLookBackAt(damping)), random_(seed) {}
  enum class Next { GoOn, Restart, Stop };
  Next on_mark(bool ok, const double* state) {
    if (++done_ >= PassesEach) return Next::Stop;
    // Where the pair's drag is not positive no capture lasts, and a member
    // does not watch for one.
    if (!(PairDrag(damping_) > 0)) return ok ? Next::GoOn : Next::Stop;
    std::array<double, StateSize + 1> from_one{};
    for (int i = 0; i < StateSize; ++i) from_one[i + 1] = state[i];
    const bool captured = ok ? detector_.observe(from_one.data(), damping_).has_value()
                             : detector_.stalled(from_one.data(), damping_).has_value();
    if (!captured && ok) return Next::GoOn;
    std::normal_distribution<double> normal(0, 1);
    fresh_ = {};
    for (int k = 0; k < 8; ++k) {
      fresh_[4 * k] = normal(random_);
      fresh_[4 * k + 1] = normal(random_);
    }
    detector_.reset();
    return Next::Restart;
  }
  const double* fresh() const { return fresh_.data(); }

 private:
  double damping_;
  CaptureDetector detector_;
  std::mt19937_64 random_;
  int done_ = 0;
  std::array<double, StateSize> fresh_{};
};

class Runner final : public LaneClient {
 public:
  explicit Runner(double damping) {
    for (int lane = 0; lane < BatchLanes; ++lane) courses_.emplace_back(damping, lane);
  }
  void on_mark(BatchEngine& engine, int lane, const LaneMark& mark) override {
    switch (courses_[lane].on_mark(mark.ok, mark.state.data())) {
      case Course::Next::Stop: BatchStop(engine, lane); break;
      case Course::Next::Restart: BatchRestart(engine, lane, courses_[lane].fresh()); break;
      case Course::Next::GoOn: break;
    }
  }

 private:
  std::vector<Course> courses_;
};

struct Use {
  std::int64_t lane_tries = 0, batch_tries = 0;
};

Use run_batch(const BatchKernels& kernels, double damping, int first) {
  const auto& s = starts(damping);
  BatchEngine engine(Span, kernels);
  for (int lane = 0; lane < BatchLanes; ++lane) {
    BatchStart(engine, lane, damping, FlowDefaultTolerance, s[first + lane].data());
  }
  Runner runner(damping);
  RunBatch(engine, runner);
  return {engine.lane_tries, engine.batch_tries};
}

void report(benchmark::State& st, int trajectories, Use use = {}) {
  // Seconds per thousand trajectory-units: milliseconds per one.
  st.counters["ms_per_unit"] = benchmark::Counter(
      trajectories * Units / 1000.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  if (use.batch_tries > 0) st.counters["lanes_busy"] = static_cast<double>(use.lane_tries) / use.batch_tries;
}

void BM_Batch(benchmark::State& st, std::int64_t target, double damping) {
  const BatchKernels kernels = BatchKernelsFor(target);
  Use use;
  for (auto _ : st) {
    const Use u = run_batch(kernels, damping, 0);
    use.lane_tries += u.lane_tries;
    use.batch_tries += u.batch_tries;
  }
  report(st, Trajectories, use);
}

// The scalar flow engine: the same trajectories and courses, one after
// the other.
void BM_FlowEngine(benchmark::State& st, double damping) {
  const auto& s = starts(damping);
  for (auto _ : st) {
    for (int t = 0; t < Trajectories; ++t) {
      FlowPass flow;
      FlockState start{};
      for (int i = 0; i < StateSize; ++i) start[i + 1] = s[t][i];
      StartFlow(flow, FlockModel{damping}, start, FlowDefaultTolerance);
      ColumnPass pass;
      pass.flow = true;
      Real exponent = 0, divergence = 0;
      Course course(damping, t);
      for (;;) {
        ++pass.Iteration;
        const bool ok = AdvanceFlow(flow);
        if (ok) FinishFlowPass(pass, flow, exponent, divergence);
        const Course::Next next = course.on_mark(ok, FlowReference(flow));
        if (next == Course::Next::Stop) break;
        if (next == Course::Next::Restart) RestartFlow(flow, course.fresh());
      }
      benchmark::DoNotOptimize(pass.LogSum);
    }
  }
  report(st, Trajectories);
}

// What a user who knows Odeint writes: dopri5 with its controller, error
// control on the 32 state components, the tangent by the variational
// equations, renormalised at every 0.01.
void BM_OdeintPeer(benchmark::State& st, double damping) {
  namespace odeint = boost::numeric::odeint;
  using Method = odeint::runge_kutta_dopri5<FlowVector, double, FlowVector, double, odeint::array_algebra>;
  using Controlled = odeint::controlled_runge_kutta<Method, StateErrorChecker<odeint::array_algebra>>;
  const auto& s = starts(damping);
  const auto system = [damping](const FlowVector& x, FlowVector& dxdt, double) {
    FlowJoinedDerivs(damping, x.data(), dxdt.data());
  };
  for (auto _ : st) {
    double log_sum = 0;
    for (int t = 0; t < Trajectories; ++t) {
      Controlled stepper{StateErrorChecker<odeint::array_algebra>{FlowDefaultTolerance}};
      FlowVector x{};
      for (int i = 0; i < StateSize; ++i) {
        x[i] = s[t][i];
        x[StateSize + i] = 1 / std::sqrt(32.0);
      }
      double dt = Span;
      for (int p = 0; p < PassesEach; ++p) {
        odeint::integrate_adaptive(stepper, system, x, 0.0, Span, dt);
        double squares = 0;
        for (int i = StateSize; i < FlowSize; ++i) squares += x[i] * x[i];
        const double length = std::sqrt(squares);
        log_sum += std::log(length);
        for (int i = StateSize; i < FlowSize; ++i) x[i] /= length;
      }
    }
    benchmark::DoNotOptimize(log_sum);
  }
  report(st, Trajectories);
}

// Sixteen trajectories: two batches one after the other on this thread, or
// one on each of two threads.
void BM_Batch_Threads(benchmark::State& st, int threads) {
  const BatchKernels& kernels = BestBatchKernels();
  for (auto _ : st) {
    if (threads == 1) {
      run_batch(kernels, Chaotic, 0);
      run_batch(kernels, Chaotic, BatchLanes);
    } else {
      std::thread other([&kernels] { run_batch(kernels, Chaotic, BatchLanes); });
      run_batch(kernels, Chaotic, 0);
      other.join();
    }
  }
  report(st, 2 * Trajectories);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::vector<Ratio> ratios;
  const std::string best = BatchTargetName(BestBatchKernels().target);
  for (const BatchTarget& t : BatchTargets()) {
    benchmark::RegisterBenchmark(("BM_Batch_Chaotic/" + t.name).c_str(), BM_Batch, t.target, Chaotic)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("BM_Batch_Capture/" + t.name).c_str(), BM_Batch, t.target, Capture)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    ratios.push_back({"chaotic band, flow engine / batch on " + t.name, "BM_FlowEngine_Chaotic",
                      "BM_Batch_Chaotic/" + t.name, 0});
  }
  benchmark::RegisterBenchmark("BM_FlowEngine_Chaotic", BM_FlowEngine, Chaotic)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_FlowEngine_Capture", BM_FlowEngine, Capture)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_OdeintPeer_Chaotic", BM_OdeintPeer, Chaotic)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_Batch_Threads/1", BM_Batch_Threads, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("BM_Batch_Threads/2", BM_Batch_Threads, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
  ratios.push_back({"chaotic band, Odeint peer / batch on " + best, "BM_OdeintPeer_Chaotic",
                    "BM_Batch_Chaotic/" + best, 5});
  ratios.push_back({"chaotic band, Odeint peer / flow engine", "BM_OdeintPeer_Chaotic", "BM_FlowEngine_Chaotic", 0});
  ratios.push_back({"capture band, flow engine / batch on " + best, "BM_FlowEngine_Capture",
                    "BM_Batch_Capture/" + best, 0});
  ratios.push_back({"sixteen trajectories, one thread / two", "BM_Batch_Threads/1", "BM_Batch_Threads/2", 1.8});
  RatioReporter reporter(benchmark::CreateDefaultDisplayReporter(), ratios);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
