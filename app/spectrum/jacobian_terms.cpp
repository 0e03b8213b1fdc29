#include "app/spectrum/jacobian_terms.hpp"

#include <cmath>

using namespace flow_model;

// The state half is FlowJoinedDerivs' state half, operation for operation:
// the spectrum's trajectory must be the flow engine's bit for bit.
void StateRatesAndTerms(double damping, const double* __restrict s, double* __restrict rates,
                        JacobianTerms& terms) {
  const double flock_drag = damping * InverseFlockMass;
  terms.flock_drag = flock_drag;
  const double xc = s[ChaserOffset], yc = s[ChaserOffset + 1];
  double ax[FlockBodies], ay[FlockBodies];
  double cx = -ChaserDrag * s[ChaserOffset + 2];
  double cy = -ChaserDrag * s[ChaserOffset + 3];
  for (int i = 0; i < FlockBodies; ++i) {
    const double* b = s + ComponentsPerBody * i;
    const double dx = b[0] - xc, dy = b[1] - yc;
    const double dc = dx * dx + dy * dy;
    const double inv = 1 / dc;
    const double qx = dx * inv, qy = dy * inv;
    ax[i] = qx * InverseFlockMass - flock_drag * b[2];
    ay[i] = qy * InverseFlockMass - flock_drag * b[3];
    cx += qx * InverseChaserMass;
    cy += qy * InverseChaserMass;
    Block2& m = terms.chaser[i];
    m.xx = (inv - 2 * qx * qx) * InverseFlockMass;
    m.xy = -2 * qx * qy * InverseFlockMass;
    m.yy = (inv - 2 * qy * qy) * InverseFlockMass;
  }
  double dx[Pairs], dy[Pairs], g[Pairs], g_prime[Pairs];
  for (int p = 0; p < Pairs; ++p) {
    dx[p] = s[ComponentsPerBody * PairList[p].j] - s[ComponentsPerBody * PairList[p].i];
    dy[p] = s[ComponentsPerBody * PairList[p].j + 1] - s[ComponentsPerBody * PairList[p].i + 1];
  }
  for (int p = 0; p < Pairs; ++p) {
    const double d = dx[p] * dx[p] + dy[p] * dy[p];
    const double r = std::sqrt(d);
    const double inv = 1 / (d * r);
    g[p] = (r - 1) * inv * InverseFlockMass;
    g_prime[p] = (1.5 - r) * inv * r * inv * InverseFlockMass;
  }
  for (int p = 0; p < Pairs; ++p) {
    const int i = PairList[p].i, j = PairList[p].j;
    const double fx = g[p] * dx[p], fy = g[p] * dy[p];
    ax[i] += fx;
    ay[i] += fy;
    ax[j] -= fx;
    ay[j] -= fy;
    const double twice = 2 * g_prime[p];
    Block2& b = terms.pair[p];
    b.xx = g[p] + twice * dx[p] * dx[p];
    b.xy = twice * dx[p] * dy[p];
    b.yy = g[p] + twice * dy[p] * dy[p];
  }
  for (int i = 0; i < FlockBodies; ++i) {
    const double* b = s + ComponentsPerBody * i;
    double* r = rates + ComponentsPerBody * i;
    r[0] = b[2];
    r[1] = b[3];
    r[2] = ax[i];
    r[3] = ay[i];
  }
  rates[ChaserOffset] = s[ChaserOffset + 2];
  rates[ChaserOffset + 1] = s[ChaserOffset + 3];
  rates[ChaserOffset + 2] = cx;
  rates[ChaserOffset + 3] = cy;
}
