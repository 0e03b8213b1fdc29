#include "app/model/divergence.hpp"

#include "app/model/flock_terms.hpp"

using namespace flock;

void AddDivergenceSample(const FlockModel& model, const Real* state, Real epsilon, Real& divergence_sum) {
  const Real damping = model.FlockDamping;
  const Real half = epsilon * 0.5L;
  FlockTerms t;
  flock_terms(state, t);

  Real sum = divergence_sum;
  for (int body = 0; body <= FlockBodies; ++body) {
    const int base = ComponentsPerBody * body;
    // Positions: the rate is the body's velocity in both displaced states, so
    // the difference is v - v (0, or NaN for a velocity that is not finite).
    for (int c = 1; c <= 2; ++c) {
      const Real rate = state[base + c + 2];
      sum = sum + (rate - rate) / epsilon;
    }
    for (int c = 3; c <= 4; ++c) {
      const Real down = state[base + c] - half;
      const Real up = epsilon + down;
      Real low, high;
      if (body < FlockBodies) {
        const Real* push = c == 3 ? t.push_x : t.push_y;
        const Real(*pair)[FlockBodies] = c == 3 ? t.pair_x : t.pair_y;
        low = flock_acceleration(push, pair, body, damping, down);
        high = flock_acceleration(push, pair, body, damping, up);
      } else {
        const Real* pull = c == 3 ? t.pull_x : t.pull_y;
        low = chaser_acceleration(pull, down);
        high = chaser_acceleration(pull, up);
      }
      sum = sum + (high - low) / epsilon;
    }
  }
  divergence_sum = sum;
}
