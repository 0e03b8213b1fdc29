#include "app/model/gauss_deviate.hpp"

#include "runtime/numeric.hpp"
#include "runtime/random.hpp"

Real GaussDeviate() { return GaussDeviate(random_state()); }

Real GaussDeviate(RandomState& generator) {
  for (;;) {
    const Real u = 2 * rnd_uniform(generator) - 1;
    const Real v = 2 * rnd_uniform(generator) - 1;
    const Real s = u * u + v * v;
    if (s >= 1 || s == 0) continue;
    // Only v enters the result; each call starts a fresh trial.
    return v * square_root(-2 * natural_log(s) / s);
  }
}
