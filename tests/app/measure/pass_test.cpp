#include <gtest/gtest.h>

#include "app/model/model_test_support.hpp"

#include <cmath>

#include "app/measure/column_pass.hpp"
#include "app/measure/pair_stepper.hpp"
#include "app/measure/plain_pass.hpp"
#include "app/measure/sweep.hpp"
#include "app/model/integrator.hpp"
#include "support/one_processor.hpp"

namespace {

using model_test::model;
using model_test::same;

void plain_derivs(const Real* state, Real* rates) { plain::flock_derivs_fast(state, rates); }

// Runs the production pass beside the plain one and compares every value.
void compare_passes(const PassAdvance& advance, int passes) {
  plain::Column oracle;
  plain::first_column(oracle.ref, oracle.shadow);
  plain::ProductionColumn production;
  ColumnPass& pass = production.pass;
  const Real* ref = production.ref;
  const Real* shadow = production.shadow;
  const Real* ring = production.ring;
  Real exponent = 0, divergence = 0;
  int measured = 0;
  for (int p = 1; p <= passes; ++p) {
    ++pass.Iteration;
    AdvanceBoth(pass, advance);
    const PassEnd got = FinishPass(pass, exponent, divergence);
    const PassEnd want = plain::pass(oracle, plain_derivs);
    ASSERT_EQ(got, want) << "pass " << p;
    for (int i = 1; i <= 32; ++i) {
      ASSERT_TRUE(same(ref[i], oracle.ref[i])) << "pass " << p << " ref " << i;
      ASSERT_TRUE(same(shadow[i], oracle.shadow[i])) << "pass " << p << " shadow " << i;
    }
    if (got == PassEnd::Measured) {
      ++measured;
      ASSERT_TRUE(same(exponent, oracle.Exponent)) << "pass " << p;
      ASSERT_TRUE(same(divergence, oracle.MeanDivergence)) << "pass " << p;
      ASSERT_TRUE(same(pass.LogSum, oracle.LogSum));
      ASSERT_TRUE(same(ring[measured % BufferLength], oracle.ring[measured % BufferLength]));
    }
  }
  EXPECT_GT(measured, 100);  // the comparison reached the measured passes
  // The divergence of this flow is the constant -(14 D / 0.3 + 1).
  EXPECT_NEAR(static_cast<double>(divergence), -(14 * 0.99875 / 0.3 + 1), 1e-6);
}

TEST(Pass, OneThreadEqualsThePlainPass) { compare_passes(PassAdvance{}, 1300); }

TEST(Pass, TwoThreadsEqualThePlainPass) {
  PairStepper stepper;
  compare_passes([&stepper](const FlockModel& m, Real* r, Real* s) { stepper.advance(m, r, s); }, 1300);
  EXPECT_EQ(stepper.steps_taken_back() + stepper.steps_by_worker(), 1300u);
}

// With the calling thread and the worker on one processor the worker is
// rarely running when a shadow step is posted, so the calling thread takes
// most of them back: the results must not depend on who took which.
TEST(Pass, TwoThreadsOnOneProcessorEqualThePlainPass) {
  OnOneProcessor pin;
  ASSERT_TRUE(pin.pinned());
  {
    PairStepper stepper;  // the worker inherits the single processor
    compare_passes([&stepper](const FlockModel& m, Real* r, Real* s) { stepper.advance(m, r, s); }, 1300);
    EXPECT_EQ(stepper.steps_taken_back() + stepper.steps_by_worker(), 1300u);
    EXPECT_GT(stepper.steps_taken_back(), 0u);
  }
}

TEST(PairStepper, StartsAndStopsCleanly) {
  // A worker that never got a job, and one that did, both end at once.
  { PairStepper idle; }
  Real a[33] = {}, b[33] = {};
  for (int i = 1; i <= 32; ++i) a[i] = b[i] = 0.1L * i;
  model.FlockDamping = 0.5L;
  PairStepper stepper;
  stepper.advance(model, a, b);
  for (int i = 1; i <= 32; ++i) EXPECT_TRUE(same(a[i], b[i])) << i;
}

}  // namespace
