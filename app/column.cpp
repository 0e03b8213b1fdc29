#include "app/column.hpp"

#include <cmath>

#include "app/column_pass.hpp"
#include "app/flow_pass.hpp"
#include "app/model/integrator.hpp"
#include "app/model/converged_estimate.hpp"
#include "app/model/gauss_deviate.hpp"
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
  std::int32_t column;
  const SweepSettings& settings;
  ColumnHost& host;
  const HistoryObserver& history;
  ColumnPass pass;
  FlowPass flow;                      // with --flow: the engine, in place of the step
  SweepCarry estimate;                // what the column reports as it stands
  std::optional<Real> extrapolated;   // with an error target, the last extrapolation
  double start = 0;

  bool target() const { return settings.target_error.has_value(); }
  // The steps of a pass; false when the flow engine cannot go on.
  bool advance();
  // The convergence test due every 1000 measured passes; none when the
  // column goes on, else how it ended. Esc ends the run: `escaped`.
  std::optional<ColumnEnd> test(bool& escaped);
  // One pass and what it ended; none when the column goes on.
  std::optional<ColumnEnd> step(bool& escaped);
  ColumnResult result(ColumnEnd end) const;
};

bool ColumnRun::advance() {
  if (settings.flow) {
    // Here, after the folds, FlowReference(flow) is the reference state at
    // the mark, and RestartFlow could start it afresh from another one.
    return AdvanceFlow(flow);
  }
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
  const Real running = estimate.Exponent;
  const bool tested = measured >= BufferLength;
  // With an error target the exponent stays the running mean, the value its
  // standard error belongs to; the extrapolation is kept apart.
  if (tested && target()) {
    Real limit = 0;
    ConvergedEstimate(pass.ring.data(), BufferLength - 1, limit, estimate.Spread);
    extrapolated = limit;
  } else if (tested) {
    ConvergedEstimate(pass.ring.data(), BufferLength - 1, estimate.Exponent, estimate.Spread);
  }
  if (history) {
    history(HistoryPoint{column, measured, running, tested, target() && tested ? *extrapolated : estimate.Exponent,
                         estimate.Spread});
  }
  if (!tested) return std::nullopt;
  if (host.escape_pressed()) {
    escaped = true;
    return std::nullopt;
  }
  const bool converged = target() ? ErrorTargetMet(pass.batch, *settings.target_error)
                                  : estimate.Spread < SpreadTolerance;
  if (converged) return ColumnEnd::Converged;
  return std::nullopt;
}

std::optional<ColumnEnd> ColumnRun::step(bool& escaped) {
  ++pass.Iteration;
  if (!advance()) return ColumnEnd::Stalled;
  if (host.seconds() - start > settings.time_limit) {
    host.time_limit_reached();
    return ColumnEnd::TimeLimit;
  }
  const bool budget_spent = settings.passes > 0 && pass.Iteration >= settings.passes;
  const PassEnd pass_end = settings.flow ? FinishFlowPass(pass, flow, estimate.Exponent, estimate.MeanDivergence)
                                         : FinishPass(pass, estimate.Exponent, estimate.MeanDivergence);
  // A diverged pass ends here: no test, and not even the iteration ceiling.
  if (pass_end == PassEnd::Diverged) {
    if (budget_spent) return ColumnEnd::PassLimit;
    return std::nullopt;
  }
  if (pass_end == PassEnd::Coinciding) return ColumnEnd::Coinciding;
  if (pass_end == PassEnd::Measured && pass.MeasuredSteps % BufferLength == BufferLength - 1) {
    const std::optional<ColumnEnd> end = test(escaped);
    if (end || escaped) return end;
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
  r.exponent = estimate.Exponent;
  r.spread = estimate.Spread;
  r.mean_divergence = estimate.MeanDivergence;
  r.end = end;
  r.passes = pass.Iteration;
  r.measured_passes = pass.MeasuredSteps;
  r.seconds = host.seconds() - start;
  r.standard_error = batch_standard_error(pass.batch);
  r.blocks = pass.batch.blocks;
  if (settings.robust) r.large_passes = pass.LargePasses;
  if (target()) r.extrapolated = extrapolated;
  if (settings.tangent) {
    if (pass.MeasuredSteps > 0) r.tangent_exponent = TangentExponent(pass);
    r.tangent_standard_error = batch_standard_error(pass.tangent_batch);
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
  ColumnRun run{column, settings, host, history, {}, {}, carry, {}, 0};
  ColumnPass& pass = run.pass;
  pass.model = model;
  pass.ref = ref;
  pass.robust = settings.robust;
  if (settings.tangent) StartTangent(pass);
  ConditionColumn(pass.ref.data(), pass.shadow.data());
  // The engine starts afresh every column: nothing of it outlives the
  // column but the state, which goes back to the model's type exactly.
  if (settings.flow) StartFlow(run.flow, model, pass.ref, settings.tolerance);
  run.start = host.seconds();
  std::optional<ColumnEnd> end;
  bool escaped = false;
  while (!end && !escaped) end = run.step(escaped);
  if (settings.flow) FlowStateTo(run.flow, pass.ref);
  ref = pass.ref;
  if (escaped) return std::nullopt;
  return run.result(*end);
}
