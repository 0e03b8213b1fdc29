// Standard normal deviates by the polar method, from the runtime's uniform
// generator: the same sequence on every run.
#pragma once

#include "runtime/random.hpp"
#include "runtime/real.hpp"

Real GaussDeviate();
// The same from a generator of the caller's own.
Real GaussDeviate(RandomState& generator);
