// The tangent (variational) dynamics of the chase model: the Jacobian of
// FlockDerivs applied to a vector, written out term by term.
#pragma once

#include "runtime/real.hpp"

// rates(1..32) := J(state) tangent, where J is the Jacobian of FlockDerivs at
// `state` and the flock damping FlockDamping(); all three vectors are 1-based
// with element 0 unused, and `rates` must differ from the other two.
void FlockTangent(const Real* state, const Real* tangent, Real* rates);
