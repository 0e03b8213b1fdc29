// The two vector libraries Debian offers, on the batch engine's hardest
// kernel: the model's joined right-hand side over eight trajectories, as
// Highway's AVX-512 target computes it, and the same operations written
// with xsimd's batch<double, avx512f> (this file is compiled for AVX-512,
// and the benchmark skips itself on a machine without it). Both against
// eight calls of the scalar FlowJoinedDerivs; the xsimd version's bits are
// checked against the scalar's first.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include <xsimd/xsimd.hpp>

#include "app/lanes/batch_kernels.hpp"
#include "ratio_reporter.hpp"

namespace {

using namespace flow_model;
using B = xsimd::batch<double, xsimd::avx512f>;

inline B at(const double* p, int c) { return B::load_aligned(p + c * BatchLanes); }
inline void put(B v, double* p, int c) { v.store_aligned(p + c * BatchLanes); }

// FlowJoinedDerivs over the eight lanes of one vector, operation for
// operation as the Highway kernel has it.
void xsimd_derivs(const double* damping, const double* s, double* rates) {
  const double* t = s + StateSize * BatchLanes;
  double* tr = rates + StateSize * BatchLanes;
  const B ifm(InverseFlockMass), icm(InverseChaserMass), minus_drag(-ChaserDrag), two(2.0), one(1.0), half3(1.5);
  const B flock_drag = B::load_aligned(damping) * ifm;
  const B xc = at(s, ChaserOffset), yc = at(s, ChaserOffset + 1);
  B ax[FlockBodies], ay[FlockBodies], tax[FlockBodies], tay[FlockBodies];
  B cx = minus_drag * at(s, ChaserOffset + 2), cy = minus_drag * at(s, ChaserOffset + 3);
  const B txc = at(t, ChaserOffset), tyc = at(t, ChaserOffset + 1);
  B tcx = minus_drag * at(t, ChaserOffset + 2), tcy = minus_drag * at(t, ChaserOffset + 3);
  for (int i = 0; i < FlockBodies; ++i) {
    const int b = ComponentsPerBody * i;
    const B dx = at(s, b) - xc, dy = at(s, b + 1) - yc;
    const B dc = dx * dx + dy * dy;
    const B inv = one / dc;
    const B qx = dx * inv, qy = dy * inv;
    ax[i] = qx * ifm - flock_drag * at(s, b + 2);
    ay[i] = qy * ifm - flock_drag * at(s, b + 3);
    cx = cx + qx * icm;
    cy = cy + qy * icm;
    const B tdx = at(t, b) - txc, tdy = at(t, b + 1) - tyc;
    const B dot = two * (qx * tdx + qy * tdy);
    const B dqx = (tdx - dx * dot) * inv, dqy = (tdy - dy * dot) * inv;
    tax[i] = dqx * ifm - flock_drag * at(t, b + 2);
    tay[i] = dqy * ifm - flock_drag * at(t, b + 3);
    tcx = tcx + dqx * icm;
    tcy = tcy + dqy * icm;
  }
  for (int p = 0; p < Pairs; ++p) {
    const int i = PairList[p].i, j = PairList[p].j;
    const int bi = ComponentsPerBody * i, bj = ComponentsPerBody * j;
    const B dx = at(s, bj) - at(s, bi), dy = at(s, bj + 1) - at(s, bi + 1);
    const B d2 = dx * dx + dy * dy;
    const B r = xsimd::sqrt(d2);
    const B inv = one / (d2 * r);
    const B g = (r - one) * inv * ifm;
    const B gp = (half3 - r) * inv * r * inv * ifm;
    const B fx = g * dx, fy = g * dy;
    ax[i] = ax[i] + fx;
    ay[i] = ay[i] + fy;
    ax[j] = ax[j] - fx;
    ay[j] = ay[j] - fy;
    const B tdx = at(t, bj) - at(t, bi), tdy = at(t, bj + 1) - at(t, bi + 1);
    const B dd = two * (dx * tdx + dy * tdy);
    const B dfx = gp * dd * dx + g * tdx, dfy = gp * dd * dy + g * tdy;
    tax[i] = tax[i] + dfx;
    tay[i] = tay[i] + dfy;
    tax[j] = tax[j] - dfx;
    tay[j] = tay[j] - dfy;
  }
  for (int i = 0; i < FlockBodies; ++i) {
    const int b = ComponentsPerBody * i;
    put(at(s, b + 2), rates, b);
    put(at(s, b + 3), rates, b + 1);
    put(ax[i], rates, b + 2);
    put(ay[i], rates, b + 3);
    put(at(t, b + 2), tr, b);
    put(at(t, b + 3), tr, b + 1);
    put(tax[i], tr, b + 2);
    put(tay[i], tr, b + 3);
  }
  put(at(s, ChaserOffset + 2), rates, ChaserOffset);
  put(at(s, ChaserOffset + 3), rates, ChaserOffset + 1);
  put(cx, rates, ChaserOffset + 2);
  put(cy, rates, ChaserOffset + 3);
  put(at(t, ChaserOffset + 2), tr, ChaserOffset);
  put(at(t, ChaserOffset + 3), tr, ChaserOffset + 1);
  put(tcx, tr, ChaserOffset + 2);
  put(tcy, tr, ChaserOffset + 3);
}

struct Inputs {
  alignas(64) LaneVector x;
  alignas(64) double damping[BatchLanes];
  Inputs() {
    std::mt19937_64 random(5);
    std::normal_distribution<double> normal(0, 1);
    for (double& v : x) v = normal(random);
    for (double& d : damping) d = 0.2 + 0.05 * normal(random);
  }
};

bool has_avx512() { return __builtin_cpu_supports("avx512f"); }

void BM_Scalar(benchmark::State& st) {
  Inputs in;
  double joined[BatchLanes][FlowSize], rates[FlowSize];
  for (int l = 0; l < BatchLanes; ++l)
    for (int c = 0; c < FlowSize; ++c) joined[l][c] = in.x[c * BatchLanes + l];
  for (auto _ : st) {
    for (int l = 0; l < BatchLanes; ++l) {
      FlowJoinedDerivs(in.damping[l], joined[l], rates);
      benchmark::DoNotOptimize(rates);
    }
  }
}

void BM_Highway(benchmark::State& st) {
  Inputs in;
  alignas(64) LaneVector rates;
  const BatchKernels& kernels = BestBatchKernels();
  for (auto _ : st) {
    kernels.derivs(in.damping, in.x, rates);
    benchmark::DoNotOptimize(rates);
  }
  st.SetLabel(BatchTargetName(kernels.target));
}

void BM_Xsimd(benchmark::State& st) {
  if (!has_avx512()) {
    st.SkipWithError("no AVX-512 here");
    return;
  }
  Inputs in;
  alignas(64) LaneVector rates;
  for (auto _ : st) {
    xsimd_derivs(in.damping, in.x, rates);
    benchmark::DoNotOptimize(rates);
  }
}

// The xsimd version's lanes are FlowJoinedDerivs's bits too.
bool xsimd_agrees() {
  Inputs in;
  alignas(64) LaneVector rates;
  xsimd_derivs(in.damping, in.x, rates);
  for (int l = 0; l < BatchLanes; ++l) {
    double joined[FlowSize], want[FlowSize];
    for (int c = 0; c < FlowSize; ++c) joined[c] = in.x[c * BatchLanes + l];
    FlowJoinedDerivs(in.damping[l], joined, want);
    for (int c = 0; c < FlowSize; ++c)
      if (std::memcmp(&want[c], &rates[c * BatchLanes + l], sizeof(double)) != 0) return false;
  }
  return true;
}

}  // namespace

BENCHMARK(BM_Scalar);
BENCHMARK(BM_Highway);
BENCHMARK(BM_Xsimd);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (has_avx512()) std::printf("xsimd's lanes equal FlowJoinedDerivs bit for bit: %s\n", xsimd_agrees() ? "yes" : "NO");
  RatioReporter reporter(benchmark::CreateDefaultDisplayReporter(),
                         {{"joined right-hand side of 8 trajectories, scalar / Highway", "BM_Scalar", "BM_Highway", 0},
                          {"joined right-hand side of 8 trajectories, scalar / xsimd", "BM_Scalar", "BM_Xsimd", 0},
                          {"xsimd / Highway", "BM_Xsimd", "BM_Highway", 0}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
