#include "app/model/flow_derivs.hpp"

#include <cmath>

namespace {

using namespace flow_model;

// The model with or without the tangent: one body of code, so that the two
// cannot drift apart.
template <bool WithTangent>
inline void derivs(double damping, const double* __restrict s, double* __restrict rates) {
  const double* __restrict t = s + StateSize;
  double* __restrict tr = rates + StateSize;
  const double flock_drag = damping * InverseFlockMass;
  const double xc = s[ChaserOffset], yc = s[ChaserOffset + 1];
  double ax[FlockBodies], ay[FlockBodies];
  double tax[FlockBodies] = {}, tay[FlockBodies] = {};
  double cx = -ChaserDrag * s[ChaserOffset + 2];
  double cy = -ChaserDrag * s[ChaserOffset + 3];
  double tcx = 0, tcy = 0;
  double txc = 0, tyc = 0;
  if constexpr (WithTangent) {
    txc = t[ChaserOffset];
    tyc = t[ChaserOffset + 1];
    tcx = -ChaserDrag * t[ChaserOffset + 2];
    tcy = -ChaserDrag * t[ChaserOffset + 3];
  }
  // The chaser pushes body i away with (x_i - x_c) / dc and is pulled toward
  // it by the same vector: q = (dx, dy) / dc, dx = x_i - x_c.
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
    if constexpr (WithTangent) {
      const double* v = t + ComponentsPerBody * i;
      const double tdx = v[0] - txc, tdy = v[1] - tyc;
      // d q = (d dx - 2 q (q . d dx)) / dc
      const double dot = 2 * (qx * tdx + qy * tdy);
      const double dqx = (tdx - dx * dot) * inv;
      const double dqy = (tdy - dy * dot) * inv;
      tax[i] = dqx * InverseFlockMass - flock_drag * v[2];
      tay[i] = dqy * InverseFlockMass - flock_drag * v[3];
      tcx += dqx * InverseChaserMass;
      tcy += dqy * InverseChaserMass;
    }
  }
  // Body j pulls body i with g(d) (x_j - x_i), g = 1/d - 1/d^1.5 =
  // (r - 1) / (d r); body i pulls j with the opposite vector. The pairs'
  // square roots and divisions are taken in one loop of their own, free of
  // the sums, so that they overlap.
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
    // g'(d) = -1/d^2 + 1.5/d^2.5 = (1.5 - r) / (d^2 r), and 1/d = r inv.
    if constexpr (WithTangent) g_prime[p] = (1.5 - r) * inv * r * inv * InverseFlockMass;
  }
  for (int p = 0; p < Pairs; ++p) {
    const int i = PairList[p].i, j = PairList[p].j;
    const double fx = g[p] * dx[p], fy = g[p] * dy[p];
    ax[i] += fx;
    ay[i] += fy;
    ax[j] -= fx;
    ay[j] -= fy;
    if constexpr (WithTangent) {
      const double tdx = t[ComponentsPerBody * j] - t[ComponentsPerBody * i];
      const double tdy = t[ComponentsPerBody * j + 1] - t[ComponentsPerBody * i + 1];
      const double dd = 2 * (dx[p] * tdx + dy[p] * tdy);
      const double dfx = g_prime[p] * dd * dx[p] + g[p] * tdx;
      const double dfy = g_prime[p] * dd * dy[p] + g[p] * tdy;
      tax[i] += dfx;
      tay[i] += dfy;
      tax[j] -= dfx;
      tay[j] -= dfy;
    }
  }
  for (int i = 0; i < FlockBodies; ++i) {
    const double* b = s + ComponentsPerBody * i;
    double* r = rates + ComponentsPerBody * i;
    r[0] = b[2];
    r[1] = b[3];
    r[2] = ax[i];
    r[3] = ay[i];
    if constexpr (WithTangent) {
      const double* v = t + ComponentsPerBody * i;
      double* w = tr + ComponentsPerBody * i;
      w[0] = v[2];
      w[1] = v[3];
      w[2] = tax[i];
      w[3] = tay[i];
    }
  }
  rates[ChaserOffset] = s[ChaserOffset + 2];
  rates[ChaserOffset + 1] = s[ChaserOffset + 3];
  rates[ChaserOffset + 2] = cx;
  rates[ChaserOffset + 3] = cy;
  if constexpr (WithTangent) {
    tr[ChaserOffset] = t[ChaserOffset + 2];
    tr[ChaserOffset + 1] = t[ChaserOffset + 3];
    tr[ChaserOffset + 2] = tcx;
    tr[ChaserOffset + 3] = tcy;
  }
}

}  // namespace

void FlowDerivs(double damping, const double* state, double* rates) { derivs<false>(damping, state, rates); }

void FlowJoinedDerivs(double damping, const double* joined, double* rates) { derivs<true>(damping, joined, rates); }

double FlowDivergence(double damping) {
  return -2 * FlockBodies * damping * InverseFlockMass - 2 * ChaserDrag;
}
