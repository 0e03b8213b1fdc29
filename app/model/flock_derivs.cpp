#include "app/model/flock_derivs.hpp"

#include "app/model/flock_terms.hpp"

using namespace flock;

void FlockDerivs(const FlockModel& model, const Real* __restrict state, Real* __restrict rates) {
  const Real damping = model.FlockDamping;
  const Real xc = state[ChaserOffset + 1];
  const Real yc = state[ChaserOffset + 2];
  Real chaser_x = (-FlockModel::ChaserDamping * state[ChaserOffset + 3]) / FlockModel::ChaserMass;
  Real chaser_y = (-FlockModel::ChaserDamping * state[ChaserOffset + 4]) / FlockModel::ChaserMass;

  // Drag and chaser terms open each flock body's sums; the chaser's own sums
  // take the flock bodies in ascending order. dc is also the chaser's squared
  // distance to the body: a reversed difference squares to the same value.
  for (int i = 0; i < FlockBodies; ++i) {
    const Real* b = state + ComponentsPerBody * i;
    Real* r = rates + ComponentsPerBody * i;
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
  for (int i = 0; i < FlockBodies; ++i) {
    const Real xi = state[ComponentsPerBody * i + 1];
    const Real yi = state[ComponentsPerBody * i + 2];
    // Body i's sums stay in registers while it meets the later bodies.
    Real ax = rates[ComponentsPerBody * i + 3];
    Real ay = rates[ComponentsPerBody * i + 4];
#pragma GCC unroll 7
    for (int j = i + 1; j < FlockBodies; ++j) {
      Real* rj = rates + ComponentsPerBody * j;
      const PairTerms p = pair_terms(xi, yi, state[ComponentsPerBody * j + 1], state[ComponentsPerBody * j + 2]);
      ax = p.to_i_x + ax;
      ay = p.to_i_y + ay;
      rj[3] = p.to_j_x + rj[3];
      rj[4] = p.to_j_y + rj[4];
    }
    rates[ComponentsPerBody * i + 3] = ax;
    rates[ComponentsPerBody * i + 4] = ay;
  }

  rates[ChaserOffset + 1] = state[ChaserOffset + 3];
  rates[ChaserOffset + 2] = state[ChaserOffset + 4];
  rates[ChaserOffset + 3] = chaser_x;
  rates[ChaserOffset + 4] = chaser_y;
}
