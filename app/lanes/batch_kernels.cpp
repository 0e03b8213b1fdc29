// Compiled once per vector target (the library's foreach_target re-includes
// this file): the batch engine's right-hand side and its Dormand-Prince try.
// Only additions, subtractions, products, quotients, square roots and
// comparisons, which IEEE rounds the same on every target; no fused
// multiply-add (the build turns contraction off, and none is asked for).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "app/lanes/batch_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>
#include <mutex>

#include "app/lanes/batch_kernels.hpp"
#include "app/lanes/dopri5_method.hpp"

HWY_BEFORE_NAMESPACE();
namespace flockchase_lanes {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using namespace flow_model;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;

// Component c of a lane vector, at the chunk of lanes that starts at `p`.
inline V At(D d, const double* p, int c) { return hn::Load(d, p + c * BatchLanes); }
inline void Put(D d, V v, double* p, int c) { hn::Store(v, d, p + c * BatchLanes); }

// The joined right-hand side for one chunk of lanes, as FlowJoinedDerivs
// computes it for one trajectory, operation for operation.
void ChunkDerivs(D d, V damping, const double* HWY_RESTRICT s, double* HWY_RESTRICT rates) {
  const double* t = s + StateSize * BatchLanes;
  double* tr = rates + StateSize * BatchLanes;
  const V ifm = hn::Set(d, InverseFlockMass);
  const V icm = hn::Set(d, InverseChaserMass);
  const V minus_drag = hn::Set(d, -ChaserDrag);
  const V two = hn::Set(d, 2.0);
  const V one = hn::Set(d, 1.0);
  const V flock_drag = damping * ifm;
  const V xc = At(d, s, ChaserOffset), yc = At(d, s, ChaserOffset + 1);
  V ax[FlockBodies], ay[FlockBodies], tax[FlockBodies], tay[FlockBodies];
  V cx = minus_drag * At(d, s, ChaserOffset + 2);
  V cy = minus_drag * At(d, s, ChaserOffset + 3);
  const V txc = At(d, t, ChaserOffset), tyc = At(d, t, ChaserOffset + 1);
  V tcx = minus_drag * At(d, t, ChaserOffset + 2);
  V tcy = minus_drag * At(d, t, ChaserOffset + 3);
  for (int i = 0; i < FlockBodies; ++i) {
    const int b = ComponentsPerBody * i;
    const V dx = At(d, s, b) - xc, dy = At(d, s, b + 1) - yc;
    const V dc = dx * dx + dy * dy;
    const V inv = one / dc;
    const V qx = dx * inv, qy = dy * inv;
    ax[i] = qx * ifm - flock_drag * At(d, s, b + 2);
    ay[i] = qy * ifm - flock_drag * At(d, s, b + 3);
    cx = cx + qx * icm;
    cy = cy + qy * icm;
    const V tdx = At(d, t, b) - txc, tdy = At(d, t, b + 1) - tyc;
    const V dot = two * (qx * tdx + qy * tdy);
    const V dqx = (tdx - dx * dot) * inv;
    const V dqy = (tdy - dy * dot) * inv;
    tax[i] = dqx * ifm - flock_drag * At(d, t, b + 2);
    tay[i] = dqy * ifm - flock_drag * At(d, t, b + 3);
    tcx = tcx + dqx * icm;
    tcy = tcy + dqy * icm;
  }
  const V three_halves = hn::Set(d, 1.5);
  for (int p = 0; p < Pairs; ++p) {
    const int i = PairList[p].i, j = PairList[p].j;
    const int bi = ComponentsPerBody * i, bj = ComponentsPerBody * j;
    const V dx = At(d, s, bj) - At(d, s, bi);
    const V dy = At(d, s, bj + 1) - At(d, s, bi + 1);
    const V dd2 = dx * dx + dy * dy;
    const V r = hn::Sqrt(dd2);
    const V inv = one / (dd2 * r);
    const V g = (r - one) * inv * ifm;
    const V g_prime = (three_halves - r) * inv * r * inv * ifm;
    const V fx = g * dx, fy = g * dy;
    ax[i] = ax[i] + fx;
    ay[i] = ay[i] + fy;
    ax[j] = ax[j] - fx;
    ay[j] = ay[j] - fy;
    const V tdx = At(d, t, bj) - At(d, t, bi);
    const V tdy = At(d, t, bj + 1) - At(d, t, bi + 1);
    const V dd = two * (dx * tdx + dy * tdy);
    const V dfx = g_prime * dd * dx + g * tdx;
    const V dfy = g_prime * dd * dy + g * tdy;
    tax[i] = tax[i] + dfx;
    tay[i] = tay[i] + dfy;
    tax[j] = tax[j] - dfx;
    tay[j] = tay[j] - dfy;
  }
  for (int i = 0; i < FlockBodies; ++i) {
    const int b = ComponentsPerBody * i;
    Put(d, At(d, s, b + 2), rates, b);
    Put(d, At(d, s, b + 3), rates, b + 1);
    Put(d, ax[i], rates, b + 2);
    Put(d, ay[i], rates, b + 3);
    Put(d, At(d, t, b + 2), tr, b);
    Put(d, At(d, t, b + 3), tr, b + 1);
    Put(d, tax[i], tr, b + 2);
    Put(d, tay[i], tr, b + 3);
  }
  Put(d, At(d, s, ChaserOffset + 2), rates, ChaserOffset);
  Put(d, At(d, s, ChaserOffset + 3), rates, ChaserOffset + 1);
  Put(d, cx, rates, ChaserOffset + 2);
  Put(d, cy, rates, ChaserOffset + 3);
  Put(d, At(d, t, ChaserOffset + 2), tr, ChaserOffset);
  Put(d, At(d, t, ChaserOffset + 3), tr, ChaserOffset + 1);
  Put(d, tcx, tr, ChaserOffset + 2);
  Put(d, tcy, tr, ChaserOffset + 3);
}

void Derivs(const double* damping, const double* x, double* rates) {
  const D d;
  const int n = static_cast<int>(hn::Lanes(d));
  for (int lane = 0; lane < BatchLanes; lane += n) {
    ChunkDerivs(d, hn::Load(d, damping + lane), x + lane, rates + lane);
  }
}

using namespace dopri5;

void ChunkTry(D d, BatchArrays& a, int lane) {
  const V h = hn::Load(d, a.step + lane);
  const V damping = hn::Load(d, a.damping + lane);
  const double* x = a.x + lane;
  const double* k1 = a.dxdt + lane;
  double* tmp = a.x_tmp + lane;
  double* k2 = a.k[0] + lane;
  double* k3 = a.k[1] + lane;
  double* k4 = a.k[2] + lane;
  double* k5 = a.k[3] + lane;
  double* k6 = a.k[4] + lane;
  double* out = tmp;
  double* k7 = k2;
  // Each stage's coefficients times the step, formed once as the scalar
  // method forms dt * b; the sums run left to right as its algebra does.
  {
    const V h21 = h * hn::Set(d, B21);
    for (int c = 0; c < FlowSize; ++c) Put(d, At(d, x, c) + h21 * At(d, k1, c), tmp, c);
  }
  ChunkDerivs(d, damping, tmp, k2);
  {
    const V h31 = h * hn::Set(d, B31), h32 = h * hn::Set(d, B32);
    for (int c = 0; c < FlowSize; ++c) Put(d, At(d, x, c) + h31 * At(d, k1, c) + h32 * At(d, k2, c), tmp, c);
  }
  ChunkDerivs(d, damping, tmp, k3);
  {
    const V h41 = h * hn::Set(d, B41), h42 = h * hn::Set(d, B42), h43 = h * hn::Set(d, B43);
    for (int c = 0; c < FlowSize; ++c) {
      Put(d, At(d, x, c) + h41 * At(d, k1, c) + h42 * At(d, k2, c) + h43 * At(d, k3, c), tmp, c);
    }
  }
  ChunkDerivs(d, damping, tmp, k4);
  {
    const V h51 = h * hn::Set(d, B51), h52 = h * hn::Set(d, B52), h53 = h * hn::Set(d, B53),
            h54 = h * hn::Set(d, B54);
    for (int c = 0; c < FlowSize; ++c) {
      Put(d, At(d, x, c) + h51 * At(d, k1, c) + h52 * At(d, k2, c) + h53 * At(d, k3, c) + h54 * At(d, k4, c), tmp,
          c);
    }
  }
  ChunkDerivs(d, damping, tmp, k5);
  {
    const V h61 = h * hn::Set(d, B61), h62 = h * hn::Set(d, B62), h63 = h * hn::Set(d, B63),
            h64 = h * hn::Set(d, B64), h65 = h * hn::Set(d, B65);
    for (int c = 0; c < FlowSize; ++c) {
      Put(d,
          At(d, x, c) + h61 * At(d, k1, c) + h62 * At(d, k2, c) + h63 * At(d, k3, c) + h64 * At(d, k4, c) +
              h65 * At(d, k5, c),
          tmp, c);
    }
  }
  ChunkDerivs(d, damping, tmp, k6);
  {
    const V c1 = h * hn::Set(d, C1), c3 = h * hn::Set(d, C3), c4 = h * hn::Set(d, C4), c5 = h * hn::Set(d, C5),
            c6 = h * hn::Set(d, C6);
    for (int c = 0; c < FlowSize; ++c) {
      Put(d,
          At(d, x, c) + c1 * At(d, k1, c) + c3 * At(d, k3, c) + c4 * At(d, k4, c) + c5 * At(d, k5, c) +
              c6 * At(d, k6, c),
          out, c);
    }
  }
  ChunkDerivs(d, damping, out, k7);
  // The error of the state components alone, scaled as the scalar engine's
  // checker scales it, its largest value taken in component order; one that
  // is not a number counts as infinite.
  const V tol = hn::Load(d, a.tolerance + lane);
  const V abs_h = hn::Abs(h);
  const V e1 = h * hn::Set(d, DC1), e3 = h * hn::Set(d, DC3), e4 = h * hn::Set(d, DC4), e5 = h * hn::Set(d, DC5),
          e6 = h * hn::Set(d, DC6), e7 = h * hn::Set(d, DC7);
  const V infinite = hn::Set(d, HUGE_VAL);
  V largest = hn::Zero(d);
  for (int c = 0; c < StateSize; ++c) {
    const V err = e1 * At(d, k1, c) + e3 * At(d, k3, c) + e4 * At(d, k4, c) + e5 * At(d, k5, c) +
                  e6 * At(d, k6, c) + e7 * At(d, k7, c);
    const V scale = tol + tol * (hn::Abs(At(d, x, c)) + abs_h * hn::Abs(At(d, k1, c)));
    const V e = hn::Abs(err) / scale;
    const auto beyond = hn::Not(e <= largest);
    largest = hn::IfThenElse(beyond, hn::IfThenElse(hn::IsNaN(e), infinite, e), largest);
  }
  hn::Store(largest, d, a.error + lane);
  // Accepted where the lane tried and the error allows it.
  const auto accepted =
      hn::And(hn::Load(d, a.active + lane) != hn::Zero(d), hn::Not(largest > hn::Set(d, 1.0)));
  double* xs = a.x + lane;
  double* slope = a.dxdt + lane;
  V squares = hn::Zero(d);
  V finite = hn::Zero(d);
  for (int c = 0; c < FlowSize; ++c) {
    const V now = hn::IfThenElse(accepted, At(d, out, c), At(d, xs, c));
    Put(d, now, xs, c);
    Put(d, hn::IfThenElse(accepted, At(d, k7, c), At(d, slope, c)), slope, c);
    finite = finite + (now - now);
    if (c >= StateSize) squares = squares + now * now;
  }
  hn::Store(squares, d, a.squares + lane);
  hn::Store(finite, d, a.finite + lane);
}

void TryStep(BatchArrays& a) {
  const D d;
  const int n = static_cast<int>(hn::Lanes(d));
  for (int lane = 0; lane < BatchLanes; lane += n) {
    bool any = false;
    for (int l = lane; l < lane + n; ++l) any = any || a.active[l] != 0;
    if (any) ChunkTry(d, a, lane);
  }
}

BatchKernels Kernels() {
  BatchKernels k;
  k.derivs = &Derivs;
  k.try_step = &TryStep;
  k.target = HWY_TARGET;
  k.width = static_cast<int>(hn::Lanes(D()));
  return k;
}

}  // namespace HWY_NAMESPACE
}  // namespace flockchase_lanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace flockchase_lanes {
HWY_EXPORT(Kernels);
}  // namespace flockchase_lanes

namespace {
// The library chooses through a process-wide record; asking for another
// target than the best goes through it, one at a time.
std::mutex& ChoiceLock() {
  static std::mutex lock;
  return lock;
}
}  // namespace

const BatchKernels& BestBatchKernels() {
  static const BatchKernels best = [] {
    std::lock_guard<std::mutex> hold(ChoiceLock());
    return HWY_DYNAMIC_DISPATCH(flockchase_lanes::Kernels)();
  }();
  return best;
}

std::vector<BatchTarget> BatchTargets() {
  std::vector<BatchTarget> targets;
  const std::int64_t supported = hwy::SupportedTargets() & HWY_TARGETS;
  // The library's bits run from the best target to the plainest.
  for (std::int64_t bits = supported; bits != 0; bits &= bits - 1) {
    const std::int64_t target = bits & ~(bits - 1);
    targets.push_back({target, BatchTargetName(target)});
  }
  return targets;
}

std::string BatchTargetName(std::int64_t target) { return hwy::TargetName(target); }

BatchKernels BatchKernelsFor(std::int64_t target) {
  BestBatchKernels();
  std::lock_guard<std::mutex> hold(ChoiceLock());
  hwy::SetSupportedTargetsForTest(target);
  hwy::GetChosenTarget().Update(hwy::SupportedTargets());
  const BatchKernels kernels = HWY_DYNAMIC_DISPATCH(flockchase_lanes::Kernels)();
  hwy::SetSupportedTargetsForTest(0);
  hwy::GetChosenTarget().Update(hwy::SupportedTargets());
  return kernels;
}
#endif  // HWY_ONCE
