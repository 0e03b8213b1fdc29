#include "app/model/integrator.hpp"

#include <cmath>

#include "app/model/flock_derivs.hpp"
#include "runtime/numeric.hpp"

namespace {

constexpr int N = StateSize;

// The model's right-hand side for the step templates.
struct ModelRhs {
  const FlockModel& model;
  void operator()(const Real* state, Real* rates) const { FlockDerivs(model, state, rates); }
};

}  // namespace

void StepRK4(const FlockModel& model, const Real* y, Real* dydx, Real h, Real* yout) {
  step_core::rk4<N>(y, dydx, h, yout, ModelRhs{model});
}

int SubStepCount(Real err, Real tolerance, int cap) {
  const Real k = std::ceil(power(err / tolerance, 0.25L) + widen(1.1f));
  if (!(k < cap)) return cap;
  return static_cast<int>(k);
}

int SubStepCount(Real err) { return SubStepCount(err, StepTolerance, MaxSubSteps); }

FoldShifts FoldStep(Real* state) {
  FoldShifts done;
  if (state[1] > Pi) {
    state[1] = state[1] - Pi * 2;
    done.down1 = true;
  }
  if (state[1] < -Pi) {
    state[1] = state[1] + Pi * 2;
    done.up1 = true;
  }
  if (state[3] > Pi * 2) {
    state[3] = state[3] - Pi * 2;
    done.down3 = true;
  }
  return done;
}

void ApplyFolds(Real* state, FoldShifts shifts) {
  if (shifts.down1) state[1] = state[1] - Pi * 2;
  if (shifts.up1) state[1] = state[1] + Pi * 2;
  if (shifts.down3) state[3] = state[3] - Pi * 2;
}

Real StepBegin(const FlockModel& model, const Real* y, Real* dydx, Real h, StepDraft& draft) {
  return step_core::begin<N>(y, dydx, h, draft, ModelRhs{model});
}

void StepBeginCoarse(const FlockModel& model, const Real* y, Real h, StepDraft& draft) {
  step_core::begin_coarse<N>(y, h, draft, ModelRhs{model});
}

void StepFinish(const FlockModel& model, StepDraft& draft, Real* dydx, Real h, int k, Real* yout) {
  step_core::finish<N>(draft, dydx, h, k, yout, ModelRhs{model});
}

int StepAdaptive(const FlockModel& model, const Real* y, Real* dydx, Real h, Real* yout) {
  StepDraft draft;
  const int k = SubStepCount(StepBegin(model, y, dydx, h, draft));
  StepFinish(model, draft, dydx, h, k, yout);
  FoldStep(yout);
  return k;
}
