// The runtime's uniform generator: a 32-bit linear congruential state that
// starts at 0xFFFFFFFF and is never seeded from the clock.
#pragma once

#include <cstdint>

#include "runtime/real.hpp"

constexpr std::uint32_t RandomStartState = 0xFFFFFFFFu;

struct RandomState {
  std::uint32_t state = RandomStartState;
  std::uint32_t last = 0;  // state >> 1 of the last step
};

RandomState& random_state();
// Advances the generator one step; a multiple of 2^-31 in [0, 1).
Real rnd_uniform();
// The same step of a generator of the caller's own (a trajectory that draws
// from a sequence of its own, seeded apart from the program's).
Real rnd_uniform(RandomState& generator);
