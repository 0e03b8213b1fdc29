#include "runtime/random.hpp"

#include <cmath>

namespace {
RandomState generator;
}

RandomState& random_state() { return generator; }

Real rnd_uniform(RandomState& g) {
  g.state = g.state * 134775813u + 1u;
  g.last = g.state >> 1;
  return std::ldexp(static_cast<Real>(g.last), -31);
}

Real rnd_uniform() { return rnd_uniform(generator); }
