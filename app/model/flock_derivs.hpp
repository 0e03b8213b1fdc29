// Right-hand side of the planar eight-body chase model: seven flock bodies
// that keep a preferred spacing and flee the eighth, the chaser, which is
// drawn toward all of them.
#pragma once

#include "runtime/real.hpp"

// A state holds eight bodies of four components, x, y, vx, vy, at elements
// 4k-3 .. 4k (k = 1..8, element 0 unused); bodies 1..7 are the flock, body 8
// the chaser.
constexpr int FlockComponents = 32;
constexpr int FlockBodies = 7;

// Writes the time derivative of every component of `state` into rates(1..32)
// at the damping FlockDamping(); element 0 and anything above 32 are left
// alone. `n` is accepted for the shape of the call and not used: the model
// always has 32 components. `state` and `rates` must be different arrays of at
// least 33 elements. Coinciding bodies give infinities or NaNs, unreported.
void FlockDerivs(const Real* state, Real* rates, int n);
