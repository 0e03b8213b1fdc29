// Process-wide values shared between the sweep and the model.
#pragma once

#include "runtime/real.hpp"

// pi as the program states it: 3.141592653589794 rounded to the extended type
// (a little above the extended value nearest to pi). The folds of the
// integrator read it; it starts at that value, so a step taken before the main
// procedure sets it folds the same way.
extern Real Pi;

// The flock damping lives in element 1 of a two-element array (bounds 0..1);
// element 0 is unused. It is plain storage so that the main procedure can
// place its dimensioned array on it (array_dim with `at` = FlockDampingArray).
// The sweep writes it between columns; FlockDerivs only reads it, so two
// threads may integrate at the same time as long as nobody writes meanwhile.
extern Real FlockDampingArray[2];

inline Real& FlockDamping() { return FlockDampingArray[1]; }
