#include "app/model/flock_tangent.hpp"

#include <cmath>

#include "app/model/flock_terms.hpp"

using namespace flock;

namespace {

// The change of dx / d, d = dx^2 + dy^2, for changes ddx, ddy of dx, dy.
Real inverse_distance_term(Real dx, Real dy, Real d, Real ddx, Real ddy) {
  const Real dd = 2 * (dx * ddx + dy * ddy);
  return ddx / d - dx * dd / (d * d);
}

}  // namespace

void FlockTangent(const FlockModel& model, const Real* __restrict state, const Real* __restrict tangent, Real* __restrict rates) {
  const Real damping = model.FlockDamping;
  const Real xc = state[ChaserOffset + 1], yc = state[ChaserOffset + 2];
  const Real txc = tangent[ChaserOffset + 1], tyc = tangent[ChaserOffset + 2];
  Real chaser_x = (-FlockModel::ChaserDamping * tangent[ChaserOffset + 3]) / FlockModel::ChaserMass;
  Real chaser_y = (-FlockModel::ChaserDamping * tangent[ChaserOffset + 4]) / FlockModel::ChaserMass;
  for (int i = 0; i < FlockBodies; ++i) {
    const Real* b = state + ComponentsPerBody * i;
    const Real* t = tangent + ComponentsPerBody * i;
    Real* r = rates + ComponentsPerBody * i;
    r[1] = t[3];
    r[2] = t[4];
    // Fled from the chaser: -(x_c - x_i) / (dc 0.3).
    const Real dxc = xc - b[1], dyc = yc - b[2];
    const Real dc = dxc * dxc + dyc * dyc;
    const Real tdx = txc - t[1], tdy = tyc - t[2];
    Real ax = (-damping * t[3]) / FlockModel::FlockMass - inverse_distance_term(dxc, dyc, dc, tdx, tdy) / FlockModel::FlockMass;
    Real ay = (-damping * t[4]) / FlockModel::FlockMass - inverse_distance_term(dyc, dxc, dc, tdy, tdx) / FlockModel::FlockMass;
    // The chaser is drawn to body i: (x_i - x_c) / (dc 0.2).
    chaser_x = chaser_x + inverse_distance_term(-dxc, -dyc, dc, -tdx, -tdy) / FlockModel::ChaserMass;
    chaser_y = chaser_y + inverse_distance_term(-dyc, -dxc, dc, -tdy, -tdx) / FlockModel::ChaserMass;
    // The flock pair forces g(d) (x_j - x_i) / 0.3 with g = 1/d - d^-1.5.
    for (int j = 0; j < FlockBodies; ++j) {
      if (j == i) continue;
      const Real dx = state[ComponentsPerBody * j + 1] - b[1], dy = state[ComponentsPerBody * j + 2] - b[2];
      const Real ddx = tangent[ComponentsPerBody * j + 1] - t[1], ddy = tangent[ComponentsPerBody * j + 2] - t[2];
      const Real d = dx * dx + dy * dy;
      const Real root = std::sqrt(d);
      const Real g = 1 / d - 1 / (d * root);
      const Real g_prime = -1 / (d * d) + 1.5L / (d * d * root);
      const Real dd = 2 * (dx * ddx + dy * ddy);
      ax = ax + (g_prime * dd * dx + g * ddx) / FlockModel::FlockMass;
      ay = ay + (g_prime * dd * dy + g * ddy) / FlockModel::FlockMass;
    }
    r[3] = ax;
    r[4] = ay;
  }
  rates[ChaserOffset + 1] = tangent[ChaserOffset + 3];
  rates[ChaserOffset + 2] = tangent[ChaserOffset + 4];
  rates[ChaserOffset + 3] = chaser_x;
  rates[ChaserOffset + 4] = chaser_y;
}
