#include "app/measure/member_engine.hpp"

#include <array>
#include <cmath>

#include "app/measure/parameters.hpp"
#include "app/model/integrator.hpp"

bool StepEngine::advance(ColumnPass& pass) {
  if (settings_.robust || settings_.tangent) {
    AdvanceMeasured(pass, settings_.measured_advance);
  } else {
    AdvanceBoth(pass, settings_.advance);
  }
  return true;
}

PassEnd StepEngine::finish(ColumnPass& pass, SweepCarry& estimate, MeasuredGrowth* growth) {
  return FinishPass(pass, estimate.Exponent, estimate.MeanDivergence, growth);
}

CaptureSample StepEngine::sample(const ColumnPass& pass) const { return CaptureSampleOf(pass.ref.data()); }

void StepEngine::state(const ColumnPass& pass, double* out) const {
  for (int i = 0; i < StateSize; ++i) out[i] = static_cast<double>(pass.ref[i + 1]);
}

void StepEngine::describe(ColumnResult& r) const {
  r.integrator = "step";
  r.tolerance = StepTolerance;
}

void FlowMemberEngine::start(ColumnPass& pass) { StartFlow(flow_, pass.model, pass.ref, tolerance_); }

void FlowMemberEngine::restart(ColumnPass& pass) { RestartFlowAt(flow_, pass.ref); }

bool FlowMemberEngine::advance(ColumnPass&) { return AdvanceFlow(flow_); }

PassEnd FlowMemberEngine::finish(ColumnPass& pass, SweepCarry& estimate, MeasuredGrowth* growth) {
  return FinishFlowPass(pass, flow_, estimate.Exponent, estimate.MeanDivergence, growth);
}

namespace {

// The flow engine's state, numbered from 1 as the model's.
std::array<double, StateSize + 1> FromOne(const double* state) {
  std::array<double, StateSize + 1> one{};
  for (int i = 1; i <= StateSize; ++i) one[i] = state[i - 1];
  return one;
}

}  // namespace

CaptureSample FlowMemberEngine::sample(const ColumnPass&) const {
  return CaptureSampleOf(FromOne(FlowReference(flow_)).data());
}

void FlowMemberEngine::state(const ColumnPass&, double* out) const {
  for (int i = 0; i < StateSize; ++i) out[i] = FlowReference(flow_)[i];
}

void FlowMemberEngine::stop(ColumnPass& pass) { FlowStateTo(flow_, pass.ref); }

void FlowMemberEngine::describe(ColumnResult& r) const {
  r.integrator = FlowMethodName;
  r.tolerance = tolerance_;
  r.steps = flow_.engine.steps;
  r.rejected_steps = flow_.engine.rejected;
}
