#include "app/column_pass.hpp"

#include "app/model/divergence.hpp"
#include "app/model/integrator.hpp"
#include "app/parameters.hpp"
#include "app/pass_steps.hpp"
#include "runtime/numeric.hpp"

void AdvanceBoth(ColumnPass& pass, const PassAdvance& advance) {
  if (advance) {
    advance(pass.ref, pass.shadow);
    return;
  }
  StepAdaptive(pass.ref, pass.derivs, StateSize, TimeStep, pass.ref);
  StepAdaptive(pass.shadow, pass.derivs, StateSize, TimeStep, pass.shadow);
}

namespace {

// Normalises the tangent vector and returns the log of its growth.
Real NormaliseTangent(Real* tangent) {
  Real squares = 0;
  for (std::int32_t i = 1; i <= StateSize; ++i) squares = squares + tangent[i] * tangent[i];
  const Real length = square_root(squares);
  for (std::int32_t i = 1; i <= StateSize; ++i) tangent[i] = tangent[i] / length;
  return natural_log(length);
}

}  // namespace

void StartTangent(Real* tangent) {
  const Real component = 1 / square_root(StateSize);
  for (std::int32_t i = 1; i <= StateSize; ++i) tangent[i] = component;
}

Real TangentExponent(const ColumnPass& pass) { return pass.TangentLogSum / (pass.MeasuredSteps * TimeStep); }

void AdvanceMeasured(ColumnPass& pass, const MeasuredAdvance& advance) {
  if (advance) {
    advance(pass.ref, pass.shadow, pass.tangent, pass.robust);
    return;
  }
  StepPairAlone(pass.ref, pass.shadow, pass.tangent, pass.robust);
}

PassEnd FinishPass(ColumnPass& pass, Real& exponent, Real& mean_divergence) {
  static const Real EpsilonSquared = Epsilon * Epsilon;
  const Real tangent_growth = pass.tangent ? NormaliseTangent(pass.tangent) : 0;
  Real* const ref = pass.ref;
  Real* const shadow = pass.shadow;
  Real* const separation = pass.separation;
  Real S = 0;
  for (std::int32_t i = 1; i <= StateSize; ++i) {
    separation[i] = shadow[i] - ref[i];
    S = S + separation[i] * separation[i];
  }
  // The squared length is compared with Epsilon itself: a separation beyond
  // 1e-4 is left to grow, unmeasured, unless the pass is robust.
  const bool large = S > Epsilon;
  if (large && !pass.robust) return PassEnd::Diverged;
  const Real GrowthRatio = square_root(S / EpsilonSquared);
  if (GrowthRatio <= 0) return PassEnd::Coinciding;
  // Back to distance Epsilon on the opposite side of the reference.
  for (std::int32_t i = 1; i <= StateSize; ++i) {
    shadow[i] = round_to_digits(ref[i] - separation[i] / GrowthRatio, 99);
  }
  if (pass.Iteration < BufferLength) return PassEnd::Transient;
  const Real log_growth = natural_log(GrowthRatio);
  pass.LogSum = pass.LogSum + log_growth;
  ++pass.MeasuredSteps;
  batch_add(pass.batch, log_growth / TimeStep);
  AddDivergenceSample(ref, Epsilon, pass.DivergenceSum);
  if (large) ++pass.LargePasses;
  if (pass.tangent) {
    pass.TangentLogSum = pass.TangentLogSum + tangent_growth;
    batch_add(pass.tangent_batch, tangent_growth / TimeStep);
  }
  exponent = pass.LogSum / (pass.MeasuredSteps * TimeStep);
  mean_divergence = pass.DivergenceSum / pass.MeasuredSteps;
  pass.ring[pass.MeasuredSteps % BufferLength] = exponent;
  return PassEnd::Measured;
}
