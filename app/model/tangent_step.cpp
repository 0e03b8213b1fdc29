#include "app/model/tangent_step.hpp"

#include "app/model/flock_derivs.hpp"
#include "app/model/flock_tangent.hpp"

namespace {

struct TangentRhs {
  void operator()(const Real* state, Real* rates) const {
    FlockDerivs(state, rates, FlockComponents);
    FlockTangent(state, state + FlockComponents, rates + FlockComponents);
  }
};
constexpr TangentRhs tangent_rhs{};

}  // namespace

Real TangentStepBegin(const Real* state_and_tangent, Real h, TangentDraft& draft) {
  Real dydx[65];
  return step_core::begin<64>(state_and_tangent, dydx, h, draft, tangent_rhs);
}

void TangentStepFinish(TangentDraft& draft, Real h, int k, Real* state_and_tangent) {
  Real dydx[65];
  step_core::finish<64>(draft, dydx, h, k, state_and_tangent, tangent_rhs);
}
