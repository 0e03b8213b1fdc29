// The tangent dynamics against finite differences of the model and of its
// step, and the model's half of the joined step against StepAdaptive.
#include <gtest/gtest.h>

#include <cmath>

#include "app/model/flock_derivs.hpp"
#include "app/model/flock_tangent.hpp"
#include "app/model/integrator.hpp"
#include "app/model/tangent_step.hpp"
#include "model_test_support.hpp"

namespace {

using model_test::model;
using model_test::same;
using model_test::StateMaker;

// Central difference of f along v: (f(y + h v) - f(y - h v)) / 2h. Its
// truncation error is of order h^2 and its rounding error of order
// 1e-19 / h; with h = 1e-6 both stay below 1e-11 of values of order one.
template <class F>
void central_difference(const Real* y, const Real* v, F f, Real* out) {
  const Real h = 1e-6L;
  Real up[33] = {}, down[33] = {}, f_up[33] = {}, f_down[33] = {};
  for (int i = 1; i <= 32; ++i) {
    up[i] = y[i] + h * v[i];
    down[i] = y[i] - h * v[i];
  }
  f(up, f_up);
  f(down, f_down);
  for (int i = 1; i <= 32; ++i) out[i] = (f_up[i] - f_down[i]) / (2 * h);
}

void expect_close(const Real* got, const Real* want, Real tolerance, int seed) {
  for (int i = 1; i <= 32; ++i) {
    EXPECT_NEAR(static_cast<double>(got[i]), static_cast<double>(want[i]),
                static_cast<double>(tolerance * (1 + std::fabs(want[i]))))
        << "component " << i << " seed " << seed;
  }
}

TEST(FlockTangent, IsTheDerivativeOfFlockDerivs) {
  for (int seed = 1; seed <= 20; ++seed) {
    StateMaker make(seed);
    Real y[33], v[33], jv[33] = {}, fd[33] = {};
    make.typical(y);
    for (int i = 1; i <= 32; ++i) v[i] = make.normal(1);
    model.FlockDamping = make.uniform();
    FlockTangent(model, y, v, jv);
    central_difference(y, v, [](const Real* s, Real* r) { FlockDerivs(model, s, r); }, fd);
    expect_close(jv, fd, 1e-8L, seed);
  }
}

TEST(TangentStep, CarriesTheDerivativeOfTheStep) {
  // Derivative of the whole step (stages, refinement, Richardson) along v,
  // with the sub-step count the step chose at y held fixed, as the tangent
  // step holds it. Steps of 0.01 from states of order one, some with bodies
  // close enough to refine.
  for (int seed = 1; seed <= 12; ++seed) {
    StateMaker make(100 + seed);
    Real joined[65] = {}, v[33];
    make.typical(joined);
    if (seed % 3 == 0) {  // a close pair: the step refines
      joined[5] = joined[1] + 0.05L;
      joined[6] = joined[2];
    }
    for (int i = 1; i <= 32; ++i) v[i] = joined[32 + i] = make.normal(1);
    model.FlockDamping = 0.3L;
    TangentDraft draft;
    const int k = SubStepCount(TangentStepBegin(model, joined, 0.01L, draft));
    Real model_only[33];
    for (int i = 1; i <= 32; ++i) model_only[i] = joined[i];
    TangentStepFinish(model, draft, 0.01L, k, joined);

    auto step_with_k = [k](const Real* s, Real* out) {
      StepDraft d;
      Real scratch[33];
      StepBegin(model, s, scratch, 0.01L, d);
      StepFinish(model, d, scratch, 0.01L, k, out);
    };
    Real fd[33] = {};
    central_difference(model_only, v, step_with_k, fd);
    expect_close(joined + 32, fd, 1e-7L, seed);
    if (seed % 3 == 0) {
      EXPECT_GT(k, 2) << seed;
    }
  }
}

TEST(TangentStep, ModelHalfIsStepAdaptiveBitForBit) {
  for (int seed = 1; seed <= 200; ++seed) {
    StateMaker make(7000 + seed);
    Real joined[65] = {}, alone[33] = {}, scratch[33];
    make.awkward(joined);
    for (int i = 1; i <= 32; ++i) {
      alone[i] = joined[i];
      joined[32 + i] = make.normal(1);
    }
    model.FlockDamping = make.damping();
    const int k_alone = StepAdaptive(model, alone, scratch, 0.01L, alone);
    TangentDraft draft;
    const int k = SubStepCount(TangentStepBegin(model, joined, 0.01L, draft));
    TangentStepFinish(model, draft, 0.01L, k, joined);
    FoldStep(joined);
    ASSERT_EQ(k, k_alone) << seed;
    for (int i = 1; i <= 32; ++i) ASSERT_TRUE(same(joined[i], alone[i])) << "seed " << seed << " component " << i;
  }
}

}  // namespace
