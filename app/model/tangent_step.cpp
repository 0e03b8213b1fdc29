#include "app/model/tangent_step.hpp"

#include "app/model/flock_derivs.hpp"
#include "app/model/flock_tangent.hpp"

namespace {

struct TangentRhs {
  const FlockModel& model;
  void operator()(const Real* state, Real* rates) const {
    FlockDerivs(model, state, rates);
    FlockTangent(model, state, state + StateSize, rates + StateSize);
  }
};

}  // namespace

Real TangentStepBegin(const FlockModel& model, const Real* state_and_tangent, Real h, TangentDraft& draft) {
  Real dydx[TangentStepSize + 1];
  return step_core::begin<TangentStepSize>(state_and_tangent, dydx, h, draft, TangentRhs{model});
}

void TangentStepFinish(const FlockModel& model, TangentDraft& draft, Real h, int k, Real* state_and_tangent) {
  Real dydx[TangentStepSize + 1];
  step_core::finish<TangentStepSize>(draft, dydx, h, k, state_and_tangent, TangentRhs{model});
}
