// Compiled once per vector target (the library's foreach_target re-includes
// this file); no fused multiply-add (the build turns contraction off, and
// none is asked for).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "app/spectrum/tangent_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>
#include <initializer_list>
#include <mutex>

#include "app/lanes/dopri5_method.hpp"
#include "app/spectrum/tangent_kernels.hpp"

HWY_BEFORE_NAMESPACE();
namespace flockchase_spectrum {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using namespace flow_model;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;

// Component c of the chunk of tangents that starts at `p`.
inline V At(D d, const double* p, int c, int stride) { return hn::Load(d, p + c * stride); }
inline void Put(D d, V v, double* p, int c, int stride) { hn::Store(v, d, p + c * stride); }

void ChunkRates(D d, const JacobianTerms& terms, const double* HWY_RESTRICT t, double* HWY_RESTRICT tr,
                int stride) {
  const V flock_drag = hn::Set(d, terms.flock_drag);
  const V share = hn::Set(d, ChaserShare);
  const V txc = At(d, t, ChaserOffset, stride), tyc = At(d, t, ChaserOffset + 1, stride);
  V tax[FlockBodies], tay[FlockBodies];
  V pull_x = hn::Zero(d), pull_y = hn::Zero(d);
  // Unrolled whole, so that every body's sums stay in registers.
#pragma GCC unroll 8
  for (int i = 0; i < FlockBodies; ++i) {
    const int b = ComponentsPerBody * i;
    const Block2& m = terms.chaser[i];
    const V mxx = hn::Set(d, m.xx), mxy = hn::Set(d, m.xy), myy = hn::Set(d, m.yy);
    const V tdx = At(d, t, b, stride) - txc, tdy = At(d, t, b + 1, stride) - tyc;
    const V ux = mxx * tdx + mxy * tdy;
    const V uy = mxy * tdx + myy * tdy;
    tax[i] = ux - flock_drag * At(d, t, b + 2, stride);
    tay[i] = uy - flock_drag * At(d, t, b + 3, stride);
    pull_x = pull_x + ux;
    pull_y = pull_y + uy;
  }
#pragma GCC unroll 21
  for (int p = 0; p < Pairs; ++p) {
    const int i = PairList[p].i, j = PairList[p].j;
    const int bi = ComponentsPerBody * i, bj = ComponentsPerBody * j;
    const Block2& m = terms.pair[p];
    const V tdx = At(d, t, bj, stride) - At(d, t, bi, stride);
    const V tdy = At(d, t, bj + 1, stride) - At(d, t, bi + 1, stride);
    const V fx = hn::Set(d, m.xx) * tdx + hn::Set(d, m.xy) * tdy;
    const V fy = hn::Set(d, m.xy) * tdx + hn::Set(d, m.yy) * tdy;
    tax[i] = tax[i] + fx;
    tay[i] = tay[i] + fy;
    tax[j] = tax[j] - fx;
    tay[j] = tay[j] - fy;
  }
#pragma GCC unroll 8
  for (int i = 0; i < FlockBodies; ++i) {
    const int b = ComponentsPerBody * i;
    Put(d, At(d, t, b + 2, stride), tr, b, stride);
    Put(d, At(d, t, b + 3, stride), tr, b + 1, stride);
    Put(d, tax[i], tr, b + 2, stride);
    Put(d, tay[i], tr, b + 3, stride);
  }
  const V chaser_drag = hn::Set(d, ChaserDrag);
  Put(d, At(d, t, ChaserOffset + 2, stride), tr, ChaserOffset, stride);
  Put(d, At(d, t, ChaserOffset + 3, stride), tr, ChaserOffset + 1, stride);
  Put(d, share * pull_x - chaser_drag * At(d, t, ChaserOffset + 2, stride), tr, ChaserOffset + 2, stride);
  Put(d, share * pull_y - chaser_drag * At(d, t, ChaserOffset + 3, stride), tr, ChaserOffset + 3, stride);
}

void Rates(const JacobianTerms& terms, const double* t, double* rates, int stride) {
  const D d;
  const int n = static_cast<int>(hn::Lanes(d));
  for (int lane = 0; lane < stride; lane += n) ChunkRates(d, terms, t + lane, rates + lane, stride);
}

// The acceleration rows of the Jacobian over the 16 positions, row and
// column 2 b + axis for body b.
constexpr int Positions = 2 * (FlockBodies + 1);
using AccelerationRows = double[Positions][Positions];

void AddBlock(AccelerationRows& a, int row_body, int column_body, const Block2& m, double sign) {
  a[2 * row_body][2 * column_body] += sign * m.xx;
  a[2 * row_body][2 * column_body + 1] += sign * m.xy;
  a[2 * row_body + 1][2 * column_body] += sign * m.xy;
  a[2 * row_body + 1][2 * column_body + 1] += sign * m.yy;
}

void FormRows(const JacobianTerms& terms, AccelerationRows& a) {
  for (auto& row : a)
    for (double& e : row) e = 0;
  const int chaser = FlockBodies;
  for (int i = 0; i < FlockBodies; ++i) {
    const Block2& m = terms.chaser[i];
    const Block2 pull{ChaserShare * m.xx, ChaserShare * m.xy, ChaserShare * m.yy};
    AddBlock(a, i, i, m, 1);
    AddBlock(a, i, chaser, m, -1);
    AddBlock(a, chaser, i, pull, 1);
    AddBlock(a, chaser, chaser, pull, -1);
  }
  for (int p = 0; p < Pairs; ++p) {
    const int i = PairList[p].i, j = PairList[p].j;
    AddBlock(a, i, j, terms.pair[p], 1);
    AddBlock(a, i, i, terms.pair[p], -1);
    AddBlock(a, j, j, terms.pair[p], -1);
    AddBlock(a, j, i, terms.pair[p], 1);
  }
}

void DenseRates(const JacobianTerms& terms, const double* t, double* rates, int stride) {
  AccelerationRows a;
  FormRows(terms, a);
  const D d;
  const int n = static_cast<int>(hn::Lanes(d));
  for (int lane = 0; lane < stride; lane += n) {
    const double* tl = t + lane;
    double* rl = rates + lane;
    V position[Positions];
    for (int b = 0; b <= FlockBodies; ++b) {
      position[2 * b] = At(d, tl, ComponentsPerBody * b, stride);
      position[2 * b + 1] = At(d, tl, ComponentsPerBody * b + 1, stride);
    }
    for (int row = 0; row < Positions; ++row) {
      const int b = row / 2, axis = row % 2;
      const double drag = b == FlockBodies ? ChaserDrag : terms.flock_drag;
      const V velocity = At(d, tl, ComponentsPerBody * b + 2 + axis, stride);
      V sum = hn::Set(d, a[row][0]) * position[0];
      for (int c = 1; c < Positions; ++c) sum = sum + hn::Set(d, a[row][c]) * position[c];
      Put(d, velocity, rl, ComponentsPerBody * b + axis, stride);
      Put(d, sum - hn::Set(d, drag) * velocity, rl, ComponentsPerBody * b + 2 + axis, stride);
    }
  }
}

template <int Terms>
void CombineTerms(const double* HWY_RESTRICT x, const double* a, const double* const* k, double* HWY_RESTRICT out,
                  int n) {
  const D d;
  const int w = static_cast<int>(hn::Lanes(d));
  V coefficient[Terms];
  for (int j = 0; j < Terms; ++j) coefficient[j] = hn::Set(d, a[j]);
  for (int e = 0; e < n; e += w) {
    V sum = hn::Load(d, x + e);
    for (int j = 0; j < Terms; ++j) sum = sum + coefficient[j] * hn::Load(d, k[j] + e);
    hn::Store(sum, d, out + e);
  }
}

void Combine(const double* x, int terms, const double* a, const double* const* k, double* out, int n) {
  switch (terms) {
    case 1: return CombineTerms<1>(x, a, k, out, n);
    case 2: return CombineTerms<2>(x, a, k, out, n);
    case 3: return CombineTerms<3>(x, a, k, out, n);
    case 4: return CombineTerms<4>(x, a, k, out, n);
    case 5: return CombineTerms<5>(x, a, k, out, n);
    case 6: return CombineTerms<6>(x, a, k, out, n);
  }
}

// The tangents' half of an accepted step of the method, one chunk of lanes
// at a time through all its stages, so that a chunk's stages stay in the
// first-level cache: each stage's sum as the method forms it, left to
// right, with the Jacobian its state stage left.
void ChunkStep(D d, const JacobianTerms* terms, double h, const double* HWY_RESTRICT x,
               const double* HWY_RESTRICT k1, double* HWY_RESTRICT out, double* HWY_RESTRICT k7, int stride) {
  using namespace dopri5;
  constexpr int MostLanes = TangentStrideUnit;
  const int w = static_cast<int>(hn::Lanes(d));
  HWY_ALIGN double tmp[StateSize * MostLanes];
  HWY_ALIGN double k[5][StateSize * MostLanes];  // k2 .. k6
  const auto stage = [&](std::initializer_list<double> b, int at) {
    V a[5];
    int n = 0;
    for (double coefficient : b) a[n++] = hn::Set(d, h * coefficient);
    for (int c = 0; c < StateSize; ++c) {
      V sum = At(d, x, c, stride) + a[0] * At(d, k1, c, stride);
      for (int j = 1; j < n; ++j) sum = sum + a[j] * At(d, k[j - 1], c, w);
      Put(d, sum, tmp, c, w);
    }
    ChunkRates(d, terms[at], tmp, k[at - 1], w);
  };
  stage({B21}, 1);
  stage({B31, B32}, 2);
  stage({B41, B42, B43}, 3);
  stage({B51, B52, B53, B54}, 4);
  stage({B61, B62, B63, B64, B65}, 5);
  const V c1 = hn::Set(d, h * C1), c3 = hn::Set(d, h * C3), c4 = hn::Set(d, h * C4), c5 = hn::Set(d, h * C5),
          c6 = hn::Set(d, h * C6);
  for (int c = 0; c < StateSize; ++c) {
    const V sum = At(d, x, c, stride) + c1 * At(d, k1, c, stride) + c3 * At(d, k[1], c, w) +
                  c4 * At(d, k[2], c, w) + c5 * At(d, k[3], c, w) + c6 * At(d, k[4], c, w);
    Put(d, sum, out, c, stride);
  }
  ChunkRates(d, terms[6], out, k7, stride);
}

void Step(const JacobianTerms* terms, double h, const double* x, const double* k1, double* out, double* k7,
          int stride) {
  const D d;
  const int w = static_cast<int>(hn::Lanes(d));
  for (int lane = 0; lane < stride; lane += w)
    ChunkStep(d, terms, h, x + lane, k1 + lane, out + lane, k7 + lane, stride);
}

void Orthonormalise(double* t, int stride, int count, double* lengths) {
  const D d;
  const int w = static_cast<int>(hn::Lanes(d));
  // Sums over the 32 components are taken in four interleaved parts, each
  // in order, then added in order: the same bits everywhere, a quarter of
  // the chain of dependent additions.
  for (int j = 0; j < count; ++j) {
    double part[4] = {0, 0, 0, 0};
#pragma GCC unroll 32
    for (int c = 0; c < StateSize; ++c) part[c % 4] += t[c * stride + j] * t[c * stride + j];
    const double length = std::sqrt(((part[0] + part[1]) + part[2]) + part[3]);
    lengths[j] = length;
    for (int c = 0; c < StateSize; ++c) t[c * stride + j] /= length;
    // Only the tangents after j, up to `count`, lose their part along j.
    for (int lane = (j + 1) / w * w; lane < count; lane += w) {
      const V index = hn::Iota(d, static_cast<double>(lane));
      const auto later = hn::And(index > hn::Set(d, static_cast<double>(j)),
                                 index < hn::Set(d, static_cast<double>(count)));
      V dots[4] = {hn::Zero(d), hn::Zero(d), hn::Zero(d), hn::Zero(d)};
#pragma GCC unroll 32
      for (int c = 0; c < StateSize; ++c)
        dots[c % 4] = dots[c % 4] + hn::Set(d, t[c * stride + j]) * At(d, t + lane, c, stride);
      const V dot = ((dots[0] + dots[1]) + dots[2]) + dots[3];
      // The other lanes keep their bits, whatever they hold.
      for (int c = 0; c < StateSize; ++c) {
        double* at = t + lane + c * stride;
        const V v = hn::Load(d, at);
        hn::Store(hn::IfThenElse(later, v - dot * hn::Set(d, t[c * stride + j]), v), d, at);
      }
    }
  }
}

void Extent(const double* t, int stride, double* largest, double* finite) {
  const D d;
  const int w = static_cast<int>(hn::Lanes(d));
  for (int lane = 0; lane < stride; lane += w) {
    V most = hn::Zero(d), sum = hn::Zero(d);
    for (int c = 0; c < StateSize; ++c) {
      const V v = At(d, t + lane, c, stride);
      // v - v is 0 for a finite v and not a number otherwise; the largest
      // magnitude only matters where all are finite.
      sum = sum + (v - v);
      most = hn::Max(most, hn::Abs(v));
    }
    hn::StoreU(most, d, largest + lane);
    hn::StoreU(sum, d, finite + lane);
  }
}

TangentKernels Kernels() {
  TangentKernels k;
  k.rates = &Rates;
  k.dense_rates = &DenseRates;
  k.combine = &Combine;
  k.step = &Step;
  k.orthonormalise = &Orthonormalise;
  k.extent = &Extent;
  k.target = HWY_TARGET;
  k.width = static_cast<int>(hn::Lanes(D()));
  return k;
}

}  // namespace HWY_NAMESPACE
}  // namespace flockchase_spectrum
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace flockchase_spectrum {
HWY_EXPORT(Kernels);
}  // namespace flockchase_spectrum

namespace {
// The library chooses through a process-wide record; asking for another
// target than the best goes through it, one at a time.
std::mutex& ChoiceLock() {
  static std::mutex lock;
  return lock;
}
}  // namespace

const TangentKernels& BestTangentKernels() {
  static const TangentKernels best = [] {
    std::lock_guard<std::mutex> hold(ChoiceLock());
    return HWY_DYNAMIC_DISPATCH(flockchase_spectrum::Kernels)();
  }();
  return best;
}

TangentKernels TangentKernelsFor(std::int64_t target) {
  BestTangentKernels();
  std::lock_guard<std::mutex> hold(ChoiceLock());
  hwy::SetSupportedTargetsForTest(target);
  hwy::GetChosenTarget().Update(hwy::SupportedTargets());
  const TangentKernels kernels = HWY_DYNAMIC_DISPATCH(flockchase_spectrum::Kernels)();
  hwy::SetSupportedTargetsForTest(0);
  hwy::GetChosenTarget().Update(hwy::SupportedTargets());
  return kernels;
}
#endif  // HWY_ONCE
