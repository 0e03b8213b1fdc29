// Right-hand side of the planar eight-body chase model: seven flock bodies
// that keep a preferred spacing and flee the eighth, the chaser, which is
// drawn toward all of them.
#pragma once

#include "app/model/flock_model.hpp"
#include "runtime/real.hpp"

// Writes the time derivative of every component of `state` into rates(1..32)
// for the given model; element 0 and anything above 32 are left alone.
// `state` and `rates` must be different arrays of at least 33 elements.
// Coinciding bodies give infinities or NaNs, unreported.
void FlockDerivs(const FlockModel& model, const Real* state, Real* rates);
