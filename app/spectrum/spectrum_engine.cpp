#include "app/spectrum/spectrum_engine.hpp"

#include <cmath>
#include <cstdint>
#include <utility>

#include "app/lanes/dopri5_method.hpp"
#include "app/model/flow_error.hpp"

namespace {

// StateErrorChecker is the flow engine's measure itself; it asks for an
// algebra it does not use.
struct NoAlgebra {};

// A fixed stream of directions for the later tangents (splitmix64): the
// same start on every machine.
double NextDirection(std::uint64_t& seed) {
  std::uint64_t z = (seed += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1p-52 - 1;
}

void FreshSlopes(SpectrumEngine& e) {
  StateRatesAndTerms(e.damping, e.x, e.dxdt, e.terms[0]);
  e.kernels.rates(e.terms[0], e.t, e.t_dxdt, e.stride);
}

// The state's half of a try of step h: its stages, its end in x_tmp and the
// slope there in k[5], and its error as the flow engine's checker measures it.
double TryState(SpectrumEngine& e, double h) {
  using namespace dopri5;
  double* const* k = e.k;
  const double* k1 = e.dxdt;
  {
    const double a[] = {h * B21};
    const double* s[] = {k1};
    e.kernels.combine(e.x, 1, a, s, e.x_tmp, StateSize);
  }
  StateRatesAndTerms(e.damping, e.x_tmp, k[0], e.terms[1]);
  {
    const double a[] = {h * B31, h * B32};
    const double* s[] = {k1, k[0]};
    e.kernels.combine(e.x, 2, a, s, e.x_tmp, StateSize);
  }
  StateRatesAndTerms(e.damping, e.x_tmp, k[1], e.terms[2]);
  {
    const double a[] = {h * B41, h * B42, h * B43};
    const double* s[] = {k1, k[0], k[1]};
    e.kernels.combine(e.x, 3, a, s, e.x_tmp, StateSize);
  }
  StateRatesAndTerms(e.damping, e.x_tmp, k[2], e.terms[3]);
  {
    const double a[] = {h * B51, h * B52, h * B53, h * B54};
    const double* s[] = {k1, k[0], k[1], k[2]};
    e.kernels.combine(e.x, 4, a, s, e.x_tmp, StateSize);
  }
  StateRatesAndTerms(e.damping, e.x_tmp, k[3], e.terms[4]);
  {
    const double a[] = {h * B61, h * B62, h * B63, h * B64, h * B65};
    const double* s[] = {k1, k[0], k[1], k[2], k[3]};
    e.kernels.combine(e.x, 5, a, s, e.x_tmp, StateSize);
  }
  StateRatesAndTerms(e.damping, e.x_tmp, k[4], e.terms[5]);
  {
    const double a[] = {h * C1, h * C3, h * C4, h * C5, h * C6};
    const double* s[] = {k1, k[1], k[2], k[3], k[4]};
    e.kernels.combine(e.x, 5, a, s, e.x_tmp, StateSize);
  }
  StateRatesAndTerms(e.damping, e.x_tmp, k[5], e.terms[6]);
  const double e1 = h * DC1, e3 = h * DC3, e4 = h * DC4, e5 = h * DC5, e6 = h * DC6, e7 = h * DC7;
  double err[StateSize];
  for (int i = 0; i < StateSize; ++i) {
    err[i] = e1 * k1[i] + e3 * k[1][i] + e4 * k[2][i] + e5 * k[3][i] + e6 * k[4][i] + e7 * k[5][i];
  }
  NoAlgebra algebra;
  return StateErrorChecker<NoAlgebra>{e.tolerance}.error(algebra, e.x, e.dxdt, err, h);
}

// The try's end becomes the engine's place, its slope the next first stage.
void Accept(SpectrumEngine& e) {
  std::swap(e.x, e.x_tmp);
  std::swap(e.dxdt, e.k[5]);
  std::swap(e.t, e.t_end);
  std::swap(e.t_dxdt, e.t_end_dxdt);
  e.terms[0] = e.terms[6];
}

}  // namespace

void SpectrumStart(SpectrumEngine& e, const double* state, int tangents, double damping, double tolerance,
                   double first_step, const TangentKernels& kernels) {
  e.damping = damping;
  e.tolerance = tolerance;
  e.tangents = tangents;
  e.stride = TangentStrideFor(tangents);
  e.kernels = kernels;
  // Every array a whole number of the widest vectors.
  const std::size_t state_arrays = 9 * StateSize;
  const std::size_t tangent_size = static_cast<std::size_t>(StateSize) * e.stride;
  const std::size_t total = state_arrays + 4 * tangent_size;
  e.memory.reset(new (std::align_val_t(64)) double[total]());
  double* at = e.memory.get();
  const auto take = [&at](std::size_t n) {
    double* p = at;
    at += n;
    return p;
  };
  e.x = take(StateSize);
  e.dxdt = take(StateSize);
  e.x_tmp = take(StateSize);
  for (double*& s : e.k) s = take(StateSize);
  e.t = take(tangent_size);
  e.t_dxdt = take(tangent_size);
  e.t_end = take(tangent_size);
  e.t_end_dxdt = take(tangent_size);
  for (int i = 0; i < StateSize; ++i) e.x[i] = state[i];
  std::uint64_t seed = 0x5eed;
  for (int c = 0; c < StateSize; ++c)
    for (int k = 0; k < tangents; ++k) Tangent(e, k, c) = NextDirection(seed);
  double lengths[SpectrumMostTangents];
  e.kernels.orthonormalise(e.t, e.stride, tangents, lengths);
  FreshSlopes(e);
  e.dt = first_step;
  e.steps = e.rejected = e.folds = 0;
}

bool SpectrumAdvance(SpectrumEngine& e, double span) {
  double t = 0;
  for (std::int64_t tries = 0; tries < FlowMostTries; ++tries) {
    if (!(e.dt >= span * FlowSmallestStepShare)) return false;
    const double rest = span - t;
    // The last step lands on the end itself; a step that would leave a
    // sliver behind takes it along.
    const bool last = e.dt >= rest * 0.999;
    const double proposal = e.dt;
    const double step = last ? rest : e.dt;
    const double error = TryState(e, step);
    if (error > 1.0) {
      ++e.rejected;
      e.dt = dopri5::DecreasedStep(step, error);
      continue;
    }
    e.kernels.step(e.terms, step, e.t, e.t_dxdt, e.t_end, e.t_end_dxdt, e.stride);
    Accept(e);
    ++e.steps;
    if (last) {
      // A shortened last step must not shrink the next pass's first one.
      e.dt = proposal;
      return true;
    }
    t = t + step;
    e.dt = dopri5::IncreasedStep(step, error);
  }
  return false;
}

bool SpectrumPass(SpectrumEngine& e, double span) {
  if (!SpectrumAdvance(e, span)) return false;
  if (FlowFold(e.x)) {
    ++e.folds;
    FreshSlopes(e);
  }
  for (int i = 0; i < StateSize; ++i) {
    if (!std::isfinite(e.x[i])) return false;
  }
  double finite[SpectrumMostTangents];
  e.kernels.extent(e.t, e.stride, e.largest, finite);
  for (int k = 0; k < e.tangents; ++k) {
    if (finite[k] != 0) return false;
  }
  return true;
}

bool SpectrumTangentsOutOfRange(const SpectrumEngine& e) {
  for (int k = 0; k < e.tangents; ++k) {
    if (e.largest[k] > 0x1p200 || e.largest[k] < 0x1p-200) return true;
  }
  return false;
}

void SpectrumOrthonormalise(SpectrumEngine& e, double* lengths) {
  e.kernels.orthonormalise(e.t, e.stride, e.tangents, lengths);
  e.kernels.rates(e.terms[0], e.t, e.t_dxdt, e.stride);
}
