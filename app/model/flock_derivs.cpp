#include "app/model/flock_derivs.hpp"

#include "app/model/flock_terms.hpp"

using namespace flock;

void FlockDerivs(const FlockModel& model, const Real* __restrict state, Real* __restrict rates) {
  const Real damping = model.FlockDamping;
  const Real xc = state[29];
  const Real yc = state[30];
  Real chaser_x = (-FlockModel::ChaserDamping * state[31]) / FlockModel::ChaserMass;
  Real chaser_y = (-FlockModel::ChaserDamping * state[32]) / FlockModel::ChaserMass;

  // Drag and chaser terms open each flock body's sums; the chaser's own sums
  // take the flock bodies in ascending order. dc is also the chaser's squared
  // distance to the body: a reversed difference squares to the same value.
  for (int i = 0; i < 7; ++i) {
    const Real* b = state + 4 * i;
    Real* r = rates + 4 * i;
    const Real dxc = xc - b[1];
    const Real dyc = yc - b[2];
    const Real dc = dxc * dxc + dyc * dyc;
    r[1] = b[3];
    r[2] = b[4];
    r[3] = (-damping * b[3]) / FlockModel::FlockMass - dxc / (dc * FlockModel::FlockMass);
    r[4] = (-damping * b[4]) / FlockModel::FlockMass - dyc / (dc * FlockModel::FlockMass);
    chaser_x = (b[1] - xc) / (dc * FlockModel::ChaserMass) + chaser_x;
    chaser_y = (b[2] - yc) / (dc * FlockModel::ChaserMass) + chaser_y;
  }

  // Each pair once. Taken in ascending (i, j) order, every body still
  // receives its terms in ascending order of the other body.
#pragma GCC unroll 7
  for (int i = 0; i < 7; ++i) {
    const Real xi = state[4 * i + 1];
    const Real yi = state[4 * i + 2];
    // Body i's sums stay in registers while it meets the later bodies.
    Real ax = rates[4 * i + 3];
    Real ay = rates[4 * i + 4];
#pragma GCC unroll 7
    for (int j = i + 1; j < 7; ++j) {
      Real* rj = rates + 4 * j;
      const PairTerms p = pair_terms(xi, yi, state[4 * j + 1], state[4 * j + 2]);
      ax = p.to_i_x + ax;
      ay = p.to_i_y + ay;
      rj[3] = p.to_j_x + rj[3];
      rj[4] = p.to_j_y + rj[4];
    }
    rates[4 * i + 3] = ax;
    rates[4 * i + 4] = ay;
  }

  rates[29] = state[31];
  rates[30] = state[32];
  rates[31] = chaser_x;
  rates[32] = chaser_y;
}
