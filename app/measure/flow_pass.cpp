#include "app/measure/flow_pass.hpp"

#include <cmath>

#include "app/measure/parameters.hpp"

namespace {

double TangentLength(const FlowEngine& engine) { return FlowTangentLength(engine.x.data()); }

bool Finite(const FlowVector& x) {
  for (double v : x) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

}  // namespace

void RestartFlow(FlowPass& flow, const double* state) {
  FlowVector joined;
  for (int i = 0; i < StateSize; ++i) joined[i] = state[i];
  FlowTangentStart(flow.engine.damping, joined.data() + StateSize);
  FlowStart(flow.engine, joined, static_cast<double>(TimeStep));
  flow.tangent_length = TangentLength(flow.engine);
}

void RestartFlowAt(FlowPass& flow, const FlockState& ref) {
  double state[StateSize];
  for (int i = 0; i < StateSize; ++i) state[i] = static_cast<double>(ref[i + 1]);
  RestartFlow(flow, state);
}

void StartFlow(FlowPass& flow, const FlockModel& model, const FlockState& ref, double tolerance) {
  flow.engine = FlowEngine{};
  flow.engine.damping = static_cast<double>(model.FlockDamping);
  flow.engine.tolerance = tolerance;
  RestartFlowAt(flow, ref);
}

bool AdvanceFlow(FlowPass& flow) {
  FlowEngine& engine = flow.engine;
  if (!FlowAdvance(engine, static_cast<double>(TimeStep))) return false;
  if (FlowFold(engine.x.data())) FlowStart(engine, engine.x, engine.dt);
  const double length = TangentLength(engine);
  return Finite(engine.x) && length > 0 && std::isfinite(length);
}

PassEnd FinishFlowPass(ColumnPass& pass, FlowPass& flow, Real& exponent, Real& mean_divergence,
                       MeasuredGrowth* growth) {
  const double length = TangentLength(flow.engine);
  const double log_growth = std::log(length / flow.tangent_length);
  // length = m 2^e with m in [1/2, 1): scaled to 2m, in [1, 2).
  int e = 0;
  std::frexp(length, &e);
  FlowScaleTangent(flow.engine, 1 - e);
  flow.tangent_length = std::ldexp(length, 1 - e);
  return RecordFlowGrowth(pass, log_growth, exponent, mean_divergence, growth);
}

PassEnd RecordFlowGrowth(ColumnPass& pass, double log_growth, Real& exponent, Real& mean_divergence,
                         MeasuredGrowth* growth) {
  if (pass.Iteration - pass.EpisodeStart < BufferLength) return PassEnd::Transient;
  const MeasuredGrowth added{log_growth, 0, false};
  RecordMeasured(pass, added, pass.ref.data(), exponent, mean_divergence);
  if (growth) *growth = added;
  return PassEnd::Measured;
}

void FlowStateTo(const FlowPass& flow, FlockState& ref) {
  for (int i = 0; i < StateSize; ++i) ref[i + 1] = flow.engine.x[i];
}
