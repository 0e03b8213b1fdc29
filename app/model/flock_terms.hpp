// The force terms of the chase model, shared by FlockDerivs and the
// divergence sample. Every term is rounded exactly as the plain sum of the
// equations forms it; only their reuse differs.
#pragma once

#include <cmath>

#include "app/model/flock_model.hpp"
#include "runtime/real.hpp"

namespace flock {

// What body j adds to the acceleration of body i, g (x_j - x_i) / 0.3 with
// g = 1/d - 1/d^1.5, and what body i adds to that of body j. The squared
// distance and g are the same from both ends, and a nonzero term seen from the
// other end is exactly the negated one; only a zero may carry the other sign,
// so a zero term is formed again from the reversed difference.
struct PairTerms {
  Real to_i_x, to_i_y, to_j_x, to_j_y;
};

inline Real mirrored(Real term, Real g, Real reversed) {
  return term != 0 ? -term : g * reversed / FlockModel::FlockMass;
}

inline PairTerms pair_terms(Real xi, Real yi, Real xj, Real yj) {
  const Real dx = xj - xi;
  const Real dy = yj - yi;
  const Real d = dx * dx + dy * dy;
  // d^1.5 as d sqrt(d), the form `power` takes for this exponent.
  const Real g = 1.0L / d - 1.0L / (d * std::sqrt(d));
  PairTerms t;
  t.to_i_x = g * dx / FlockModel::FlockMass;
  t.to_i_y = g * dy / FlockModel::FlockMass;
  t.to_j_x = mirrored(t.to_i_x, g, xi - xj);
  t.to_j_y = mirrored(t.to_i_y, g, yi - yj);
  return t;
}

// Every term of the seven flock accelerations and the chaser's, kept apart so
// that a sum can be formed again with a different own-velocity term.
struct FlockTerms {
  Real push_x[FlockBodies], push_y[FlockBodies];        // (x_c - x_i) / (dc 0.3), subtracted
  Real pair_x[FlockBodies][FlockBodies], pair_y[FlockBodies][FlockBodies];  // [i][j]: what body j adds to body i
  Real pull_x[FlockBodies], pull_y[FlockBodies];        // (x_j - x_c) / (d 0.2), added to the chaser
};

inline void flock_terms(const Real* __restrict state, FlockTerms& t) {
  const Real xc = state[ChaserOffset + 1];
  const Real yc = state[ChaserOffset + 2];
  for (int i = 0; i < FlockBodies; ++i) {
    const Real xi = state[ComponentsPerBody * i + 1];
    const Real yi = state[ComponentsPerBody * i + 2];
    const Real dxc = xc - xi;
    const Real dyc = yc - yi;
    // The chaser's squared distance to body i is the same sum.
    const Real dc = dxc * dxc + dyc * dyc;
    t.push_x[i] = dxc / (dc * FlockModel::FlockMass);
    t.push_y[i] = dyc / (dc * FlockModel::FlockMass);
    t.pull_x[i] = (xi - xc) / (dc * FlockModel::ChaserMass);
    t.pull_y[i] = (yi - yc) / (dc * FlockModel::ChaserMass);
  }
  for (int i = 0; i < FlockBodies; ++i) {
    for (int j = i + 1; j < FlockBodies; ++j) {
      const PairTerms p = pair_terms(state[ComponentsPerBody * i + 1], state[ComponentsPerBody * i + 2], state[ComponentsPerBody * j + 1], state[ComponentsPerBody * j + 2]);
      t.pair_x[i][j] = p.to_i_x;
      t.pair_y[i][j] = p.to_i_y;
      t.pair_x[j][i] = p.to_j_x;
      t.pair_y[j][i] = p.to_j_y;
    }
  }
}

// Body i's acceleration along one axis with own velocity v, summed in the
// model's order: drag, chaser, then the other flock bodies in ascending order.
inline Real flock_acceleration(const Real* push, const Real (*pair)[FlockBodies], int i, Real damping, Real v) {
  Real a = (-damping * v) / FlockModel::FlockMass - push[i];
  for (int j = 0; j < FlockBodies; ++j) {
    if (j != i) a = pair[i][j] + a;
  }
  return a;
}

inline Real chaser_acceleration(const Real* pull, Real v) {
  Real a = (-FlockModel::ChaserDamping * v) / FlockModel::ChaserMass;
  for (int j = 0; j < FlockBodies; ++j) a = pull[j] + a;
  return a;
}

}  // namespace flock
