#include "runtime/random.hpp"

#include <cmath>

namespace {
RandomState generator;
}

RandomState& random_state() { return generator; }

Real rnd_uniform() {
  generator.state = generator.state * 134775813u + 1u;
  generator.last = generator.state >> 1;
  return std::ldexp(static_cast<Real>(generator.last), -31);
}
