// A tangent vector carried through the reference's own step: the same
// stages, the same sub-step count and the same Richardson combination,
// applied to the linearised model. Folds shift a state by a constant, so
// they leave a tangent vector as it is.
#pragma once

#include "app/model/flock_model.hpp"
#include "app/model/step_core.hpp"
#include "runtime/real.hpp"

// The model state in elements 1..32 and the tangent vector in 33..64.
constexpr int TangentStepSize = 2 * StateSize;
using TangentDraft = step_core::Draft<TangentStepSize>;

// As StepBegin and StepFinish, for the state together with its tangent;
// the model's half gives exactly the bits of StepBegin and StepFinish.
Real TangentStepBegin(const FlockModel& model, const Real* state_and_tangent, Real h, TangentDraft& draft);
void TangentStepFinish(const FlockModel& model, TangentDraft& draft, Real h, int k, Real* state_and_tangent);
