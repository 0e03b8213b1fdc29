#include "app/measure/column.hpp"

#include <array>
#include <cmath>

#include "app/measure/column_pass.hpp"
#include "app/measure/episodes.hpp"
#include "app/measure/flow_pass.hpp"
#include "app/model/capture_detector.hpp"
#include "app/model/gauss_deviate.hpp"
#include "app/model/integrator.hpp"
#include "runtime/numeric.hpp"

namespace {

constexpr std::int32_t IterationCeiling = 2000000000;
constexpr std::int32_t MinimumTargetBlocks = 20;

// Enough blocks for the batch-means standard error to be trusted, and below
// the target.
bool ErrorTargetMet(const BatchMeans& batch, Real target) {
  const std::optional<Real> error = batch_standard_error(batch);
  return batch.blocks >= MinimumTargetBlocks && error && *error < target;
}

// A column under way: its pass, what it will report, and how it is asked to
// run.
struct ColumnRun {
  ColumnRun(std::int32_t column, const SweepSettings& settings, ColumnHost& host, const HistoryObserver& history,
            const SweepCarry& carry)
      : column(column), settings(settings), host(host), history(history), reported{carry, {}} {}

  std::int32_t column;
  const SweepSettings& settings;
  ColumnHost& host;
  const HistoryObserver& history;
  ColumnPass pass;
  FlowPass flow;            // with --flow: the engine, in place of the step
  ColumnEstimate reported;  // what the column reports as it stands
  double start = 0;
  // Capture detection, with the measurement options.
  bool detecting = false;
  CaptureDetector detector{static_cast<double>(TimeStep)};
  EpisodeLog log;
  std::int32_t captures = 0;
  std::int32_t exposed_passes = 0;  // of episodes, up to their capture's start
  std::int32_t rated_captures = 0;  // those with a collapse rate
  double collapse_rate_sum = 0;

  SweepCarry& estimate() { return reported.estimate; }
  bool target() const { return settings.target_error.has_value(); }
  void start_episode();
  // A declared capture: takes back what was measured from its collapse's
  // start on and starts a new episode from a fresh state.
  void capture(const CaptureEvent& event);
  // At the column's end: takes back a collapse under way, and counts the
  // last episode's time.
  void finish_episodes();
  // The steps of a pass; false when the flow engine cannot go on.
  bool advance();
  // The detector's look at the reference state at the pass's end.
  std::optional<CaptureEvent> observe();
  // The detector's look at the flow engine's state where it stopped.
  std::optional<CaptureEvent> observe_stall();
  // The convergence test due every 1000 measured passes; none when the
  // column goes on, else how it ended. Esc ends the run: `escaped`.
  std::optional<ColumnEnd> test(bool& escaped);
  // One pass and what it ended; none when the column goes on.
  std::optional<ColumnEnd> step(bool& escaped);
  ColumnResult result(ColumnEnd end) const;
};

bool ColumnRun::advance() {
  if (settings.flow) return AdvanceFlow(flow);
  if (settings.robust || settings.tangent) {
    AdvanceMeasured(pass, settings.measured_advance);
  } else {
    AdvanceBoth(pass, settings.advance);
  }
  return true;
}

std::optional<ColumnEnd> ColumnRun::test(bool& escaped) {
  // From the 1999th measured pass on, the ring holds the last 1000 running
  // estimates in time order.
  const std::int32_t measured = pass.MeasuredSteps;
  const Real running = estimate().Exponent;
  const bool tested = measured >= BufferLength;
  // With an error target the exponent stays the running mean, the value its
  // standard error belongs to; the extrapolation is kept apart.
  EstimateAtTest(pass, target(), reported);
  if (history) {
    history(HistoryPoint{column, measured, running, tested,
                         target() && tested ? *reported.extrapolated : estimate().Exponent, estimate().Spread});
  }
  if (!tested) return std::nullopt;
  if (host.escape_pressed()) {
    escaped = true;
    return std::nullopt;
  }
  const bool converged = target() ? ErrorTargetMet(pass.batch, *settings.target_error)
                                  : estimate().Spread < SpreadTolerance;
  if (converged) return ColumnEnd::Converged;
  return std::nullopt;
}

// The flow engine's state, numbered from 1 as the model's.
std::array<double, StateSize + 1> FlowStateFromOne(const FlowPass& flow) {
  std::array<double, StateSize + 1> state{};
  const double* engine = FlowReference(flow);
  for (std::int32_t i = 1; i <= StateSize; ++i) state[i] = engine[i - 1];
  return state;
}

std::optional<CaptureEvent> ColumnRun::observe() {
  const double damping = static_cast<double>(pass.model.FlockDamping);
  if (!settings.flow) return detector.observe(pass.ref.data(), damping);
  // The engine's state after the folds.
  return detector.observe(FlowStateFromOne(flow).data(), damping);
}

std::optional<CaptureEvent> ColumnRun::observe_stall() {
  if (!detecting) return std::nullopt;
  return detector.stalled(FlowStateFromOne(flow).data(), static_cast<double>(pass.model.FlockDamping));
}

void ColumnRun::start_episode() {
  pass.EpisodeStart = pass.Iteration;
  detector.reset();
  StartEpisodeLog(log, pass, reported, detector.reach() + 1);
}

void ColumnRun::capture(const CaptureEvent& event) {
  const std::int32_t from = pass.EpisodeStart + static_cast<std::int32_t>(event.start);
  // The log reaches back as far as the detector looks, so this always finds
  // its snapshot.
  TakeBack(log, pass, reported, target(), from);
  if (settings.capture_observer) settings.capture_observer(event, from, pass);
  ++captures;
  exposed_passes += from - 1 - pass.EpisodeStart;
  if (!std::isnan(event.collapse_rate)) {
    ++rated_captures;
    collapse_rate_sum += event.collapse_rate;
  }
  // A fresh episode, set up as a column starts.
  pass.ref = FreshState();
  if (pass.with_tangent) StartTangent(pass);
  ConditionColumn(pass.ref.data(), pass.shadow.data());
  if (settings.flow) RestartFlowAt(flow, pass.ref);
  start_episode();
}

// A collapse under way when the column ends is not declared a capture, but
// what was measured from its start is taken back all the same: the column's
// figures never hold a collapse.
void ColumnRun::finish_episodes() {
  const std::optional<CaptureEvent> under_way = detector.pending(static_cast<double>(pass.model.FlockDamping));
  std::int32_t end = pass.Iteration;
  if (under_way) {
    end = pass.EpisodeStart + static_cast<std::int32_t>(under_way->start) - 1;
    TakeBack(log, pass, reported, target(), end + 1);
  }
  exposed_passes += end - pass.EpisodeStart;
}

std::optional<ColumnEnd> ColumnRun::step(bool& escaped) {
  ++pass.Iteration;
  const bool budget_spent = settings.passes > 0 && pass.Iteration >= settings.passes;
  if (!advance()) {
    // The flow engine stopped in a pair it cannot follow: a capture, when
    // the detector sees one there, and the pass is spent on it.
    const std::optional<CaptureEvent> sunk = observe_stall();
    if (!sunk) return ColumnEnd::Stalled;
    capture(*sunk);
    return budget_spent ? std::optional(ColumnEnd::PassLimit) : std::nullopt;
  }
  if (host.seconds() - start > settings.time_limit) {
    host.time_limit_reached();
    return ColumnEnd::TimeLimit;
  }
  MeasuredGrowth growth;
  const PassEnd pass_end =
      settings.flow ? FinishFlowPass(pass, flow, estimate().Exponent, estimate().MeanDivergence, &growth)
                    : FinishPass(pass, estimate().Exponent, estimate().MeanDivergence, &growth);
  std::optional<CaptureEvent> captured;
  if (detecting && pass_end != PassEnd::Coinciding) {
    captured = observe();
  }
  if (captured) {
    capture(*captured);
  } else {
    // A diverged pass ends here: no test, and not even the iteration ceiling.
    if (pass_end == PassEnd::Diverged) {
      if (budget_spent) return ColumnEnd::PassLimit;
      return std::nullopt;
    }
    if (pass_end == PassEnd::Coinciding) return ColumnEnd::Coinciding;
    if (pass_end == PassEnd::Measured && TestDue(pass)) {
      const std::optional<ColumnEnd> end = test(escaped);
      if (detecting && !escaped) LogPass(log, pass, &growth, reported);
      if (end || escaped) return end;
    } else if (detecting) {
      LogPass(log, pass, pass_end == PassEnd::Measured ? &growth : nullptr, reported);
    }
  }
  if (pass.Iteration > IterationCeiling) {
    host.iteration_ceiling_reached();
    return ColumnEnd::IterationCeiling;
  }
  if (budget_spent) return ColumnEnd::PassLimit;
  return std::nullopt;
}

ColumnResult ColumnRun::result(ColumnEnd end) const {
  ColumnResult r;
  r.column = column;
  r.damping = pass.model.FlockDamping;
  r.exponent = reported.estimate.Exponent;
  r.spread = reported.estimate.Spread;
  r.mean_divergence = reported.estimate.MeanDivergence;
  r.end = end;
  r.passes = pass.Iteration;
  r.measured_passes = pass.MeasuredSteps;
  r.seconds = host.seconds() - start;
  r.standard_error = batch_standard_error(pass.batch);
  r.blocks = pass.batch.blocks;
  if (settings.robust) r.large_passes = pass.LargePasses;
  if (target()) r.extrapolated = reported.extrapolated;
  if (settings.tangent) {
    if (pass.MeasuredSteps > 0) r.tangent_exponent = TangentExponent(pass);
    r.tangent_standard_error = batch_standard_error(pass.tangent_batch);
  }
  if (detecting) {
    r.captures = captures;
    r.regime = captures == 0 ? ColumnRegime::Chaotic
               : pass.MeasuredSteps > 0 ? ColumnRegime::Transient
                                        : ColumnRegime::Captured;
    r.chaotic_time = pass.MeasuredSteps * TimeStep;
    r.capture_rate = captures / (exposed_passes * TimeStep);
    if (rated_captures > 0) r.collapse_rate = static_cast<Real>(collapse_rate_sum / rated_captures);
  }
  if (settings.flow) {
    // The exponent is the tangent's: the tangent fields repeat it.
    if (pass.MeasuredSteps > 0) r.tangent_exponent = pass.LogSum / (pass.MeasuredSteps * TimeStep);
    r.tangent_standard_error = r.standard_error;
    r.integrator = FlowMethodName;
    r.tolerance = settings.tolerance;
    r.steps = flow.engine.steps;
    r.rejected_steps = flow.engine.rejected;
  } else {
    r.integrator = "step";
    r.tolerance = StepTolerance;
  }
  return r;
}

}  // namespace

FlockState FreshState() {
  FlockState state{};
  for (std::int32_t k = 1; k <= FlockBodies + 1; ++k) {
    state[4 * k - 3] = GaussDeviate();
    state[4 * k - 2] = GaussDeviate();
    state[4 * k - 1] = 0;
    state[4 * k] = 0;
  }
  return state;
}

void ConditionColumn(Real* ref, Real* shadow) {
  constexpr int reach = 5;  // components beyond it are pulled back to it
  const Real kick = widen(0.1f);
  const Real floor = widen(0.01f);
  const Real offset = Epsilon / square_root(StateSize);
  for (std::int32_t i = 1; i <= StateSize; ++i) {
    if (std::fabs(ref[i]) > reach) ref[i] = reach * sign_of(ref[i]) + kick * GaussDeviate();
    if (std::fabs(ref[i]) < floor) ref[i] = floor * GaussDeviate();
    shadow[i] = ref[i] + offset;
  }
}

std::optional<ColumnResult> RunColumn(std::int32_t column, const FlockModel& model, FlockState& ref,
                                      const SweepCarry& carry, const SweepSettings& settings, ColumnHost& host,
                                      const HistoryObserver& history) {
  ColumnRun run(column, settings, host, history, carry);
  ColumnPass& pass = run.pass;
  pass.model = model;
  pass.ref = ref;
  pass.robust = settings.robust;
  pass.flow = settings.flow;
  // Under --flow the engine carries the tangent; the step's stays off.
  if (settings.tangent && !settings.flow) StartTangent(pass);
  ConditionColumn(pass.ref.data(), pass.shadow.data());
  // The engine starts afresh every column: nothing of it outlives the
  // column but the state, which goes back to the model's type exactly.
  if (settings.flow) StartFlow(run.flow, model, pass.ref, settings.tolerance);
  run.detecting = MeasurementOptions(settings);
  if (run.detecting) {
    run.detector = CaptureDetector(static_cast<double>(TimeStep),
                                   CaptureLookBackAt(static_cast<double>(model.FlockDamping)));
    run.start_episode();
  }
  run.start = host.seconds();
  std::optional<ColumnEnd> end;
  bool escaped = false;
  while (!end && !escaped) end = run.step(escaped);
  if (settings.flow) FlowStateTo(run.flow, pass.ref);
  ref = pass.ref;
  if (escaped) return std::nullopt;
  if (run.detecting) run.finish_episodes();
  return run.result(*end);
}
