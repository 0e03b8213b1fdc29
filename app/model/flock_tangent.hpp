// The tangent (variational) dynamics of the chase model: the Jacobian of
// FlockDerivs applied to a vector, written out term by term.
#pragma once

#include "app/model/flock_model.hpp"
#include "runtime/real.hpp"

// rates(1..32) := J(state) tangent, where J is the Jacobian of FlockDerivs at
// `state` for the given model; all three vectors are 1-based
// with element 0 unused, and `rates` must differ from the other two.
void FlockTangent(const FlockModel& model, const Real* state, const Real* tangent, Real* rates);
