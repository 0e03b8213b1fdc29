#include "app/measure/column_pass.hpp"

#include "app/measure/pass_steps.hpp"
#include "app/model/divergence.hpp"
#include "app/model/flow_derivs.hpp"
#include "app/model/integrator.hpp"
#include "runtime/numeric.hpp"

void AdvanceBoth(ColumnPass& pass, const PassAdvance& advance) {
  if (advance) {
    advance(pass.model, pass.ref.data(), pass.shadow.data());
    return;
  }
  StepAdaptive(pass.model, pass.ref.data(), pass.derivs.data(), TimeStep, pass.ref.data());
  StepAdaptive(pass.model, pass.shadow.data(), pass.derivs.data(), TimeStep, pass.shadow.data());
}

namespace {

// Normalises the tangent vector and returns the log of its growth.
Real NormaliseTangent(FlockState& tangent) {
  Real squares = 0;
  for (std::int32_t i = 1; i <= StateSize; ++i) squares = squares + tangent[i] * tangent[i];
  const Real length = square_root(squares);
  for (std::int32_t i = 1; i <= StateSize; ++i) tangent[i] = tangent[i] / length;
  return natural_log(length);
}

}  // namespace

void StartTangent(ColumnPass& pass) {
  pass.with_tangent = true;
  const Real component = 1 / square_root(StateSize);
  for (std::int32_t i = 1; i <= StateSize; ++i) pass.tangent[i] = component;
}

Real TangentExponent(const ColumnPass& pass) { return pass.TangentLogSum / (pass.MeasuredSteps * TimeStep); }

void AdvanceMeasured(ColumnPass& pass, const MeasuredAdvance& advance) {
  Real* const tangent = pass.with_tangent ? pass.tangent.data() : nullptr;
  if (advance) {
    advance(pass.model, pass.ref.data(), pass.shadow.data(), tangent, pass.robust);
    return;
  }
  StepPairAlone(pass.model, pass.ref.data(), pass.shadow.data(), tangent, pass.robust);
}

namespace {

// The renormalised shadow is rounded to this many decimal places, which
// round_to_digits takes as its most, 18.
constexpr std::int32_t ShadowPlaces = 99;

}  // namespace

PassEnd FinishPass(ColumnPass& pass, Real& exponent, Real& mean_divergence, MeasuredGrowth* growth) {
  static const Real EpsilonSquared = Epsilon * Epsilon;
  const Real tangent_growth = pass.with_tangent ? NormaliseTangent(pass.tangent) : 0;
  const FlockState& ref = pass.ref;
  FlockState& shadow = pass.shadow;
  FlockState& separation = pass.separation;
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
    shadow[i] = round_to_digits(ref[i] - separation[i] / GrowthRatio, ShadowPlaces);
  }
  if (pass.Iteration - pass.EpisodeStart < BufferLength) return PassEnd::Transient;
  const MeasuredGrowth added{natural_log(GrowthRatio), tangent_growth, large};
  RecordMeasured(pass, added, ref.data(), exponent, mean_divergence);
  if (growth) *growth = added;
  return PassEnd::Measured;
}

void RecordMeasured(ColumnPass& pass, const MeasuredGrowth& growth, const Real* ref, Real& exponent,
                    Real& mean_divergence) {
  pass.LogSum = pass.LogSum + growth.log_growth;
  ++pass.MeasuredSteps;
  batch_add(pass.batch, growth.log_growth / TimeStep);
  if (pass.flow) {
    pass.DivergenceSum = pass.DivergenceSum + FlowDivergence(static_cast<double>(pass.model.FlockDamping));
  } else {
    AddDivergenceSample(pass.model, ref, Epsilon, pass.DivergenceSum);
  }
  if (growth.large) ++pass.LargePasses;
  if (pass.with_tangent) {
    pass.TangentLogSum = pass.TangentLogSum + growth.tangent_growth;
    batch_add(pass.tangent_batch, growth.tangent_growth / TimeStep);
  }
  exponent = pass.LogSum / (pass.MeasuredSteps * TimeStep);
  mean_divergence = pass.DivergenceSum / pass.MeasuredSteps;
  pass.ring[pass.MeasuredSteps % BufferLength] = exponent;
}
