// Standard normal deviates by the polar method, from the runtime's uniform
// generator: the same sequence on every run.
#pragma once

#include "runtime/real.hpp"

Real GaussDeviate();
