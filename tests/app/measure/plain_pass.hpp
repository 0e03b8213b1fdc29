// The plain transcription of one pass of a column, straight from the sweep's
// algorithm with the plain model: both steps on one thread, the separation,
// the renormalisation and the 64-evaluation divergence sample. The
// production pass must give the same bits; the benchmarks time both.
#pragma once

#include "app/measure/column_pass.hpp"
#include "app/measure/parameters.hpp"
#include "app/measure/sweep.hpp"
#include "app/model/gauss_deviate.hpp"
#include "app/model/plain_model.hpp"
#include "runtime/numeric.hpp"
#include "runtime/random.hpp"

namespace plain {

struct Column {
  Real ref[33] = {};
  Real shadow[33] = {};
  Real separation[33] = {};
  Real derivs[33] = {};
  Real ring[BufferLength] = {};
  std::int32_t Iteration = 0;
  std::int32_t MeasuredSteps = 0;
  Real LogSum = 0;
  Real DivergenceSum = 0;
  Real Exponent = 0;
  Real MeanDivergence = 0;
};

inline PassEnd pass(Column& c, DerivsFunction derivs_of) {
  const Real EpsilonSquared = Epsilon * Epsilon;
  c.Iteration = c.Iteration + 1;
  step_adaptive(c.ref, c.derivs, StateSize, TimeStep, c.ref, derivs_of);
  step_adaptive(c.shadow, c.derivs, StateSize, TimeStep, c.shadow, derivs_of);
  Real S = 0;
  for (int i = 1; i <= StateSize; ++i) {
    c.separation[i] = c.shadow[i] - c.ref[i];
    S = S + power(c.separation[i], 2);
  }
  if (S > Epsilon) return PassEnd::Diverged;
  const Real r = square_root(S / EpsilonSquared);
  if (r <= 0) return PassEnd::Coinciding;
  for (int i = 1; i <= StateSize; ++i) c.shadow[i] = round_to_digits(c.ref[i] - c.separation[i] / r, 99);
  if (c.Iteration < BufferLength) return PassEnd::Transient;
  c.LogSum = c.LogSum + natural_log(r);
  c.MeasuredSteps = c.MeasuredSteps + 1;
  divergence_loop(c.ref, c.derivs, Epsilon, c.DivergenceSum, derivs_of);
  c.Exponent = c.LogSum / (c.MeasuredSteps * TimeStep);
  c.MeanDivergence = c.DivergenceSum / c.MeasuredSteps;
  c.ring[c.MeasuredSteps % BufferLength] = c.Exponent;
  return PassEnd::Measured;
}

// The start of a run's first column (849, damping 0.99875): the initial
// positions of every run, conditioned, with the generator as at start-up.
inline void first_column(Real* ref, Real* shadow) {
  random_state() = RandomState{};
  for (int k = 1; k <= 8; ++k) {
    ref[4 * k - 3] = GaussDeviate();
    ref[4 * k - 2] = GaussDeviate();
    ref[4 * k - 1] = 0;
    ref[4 * k] = 0;
  }
  model_test::model.FlockDamping = ColumnDamping(FirstColumn);
  ConditionColumn(ref, shadow);
}

// The production pass, at the start of the first column like first_column.
// ref, shadow and ring name its vectors.
struct ProductionColumn {
  ColumnPass pass;
  Real* const ref = pass.ref.data();
  Real* const shadow = pass.shadow.data();
  const Real* const ring = pass.ring.data();
  ProductionColumn() {
    first_column(ref, shadow);
    pass.model = model_test::model;
  }
  ProductionColumn(const ProductionColumn&) = delete;
  ProductionColumn& operator=(const ProductionColumn&) = delete;
};

}  // namespace plain
