#include "app/model/divergence.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "app/model/flock_derivs.hpp"
#include "app/model/model_test_support.hpp"
#include "app/model/plain_model.hpp"

namespace {

using model_test::model;
using model_test::same;

const Real Epsilon = widen(1e-8f);

void expect_same_as_loop(const Real* state, Real start, const char* what, int round) {
  Real copy[33];
  for (int i = 0; i <= 32; ++i) copy[i] = state[i];
  Real derivs[33];
  Real expected = start;
  plain::divergence_loop(copy, derivs, Epsilon, expected, plain::flock_derivs_fast);
  Real sample = start;
  AddDivergenceSample(model, state, Epsilon, sample);
  ASSERT_TRUE(same(sample, expected)) << what << " round " << round << ": " << sample << " vs " << expected
                                      << "\nstate " << model_test::describe(state) << "\ndamping "
                                      << model.FlockDamping << " start " << start;
  for (int i = 0; i <= 32; ++i) ASSERT_TRUE(same(copy[i], state[i])) << "loop did not restore " << i;
}

TEST(AddDivergenceSample, MatchesTheSixtyFourEvaluationLoopOnTypicalStates) {
  model_test::StateMaker maker(31337);
  Real s[33];
  for (int round = 0; round < 1000; ++round) {
    maker.typical(s);
    model.FlockDamping = maker.damping();
    const Real start = round % 3 == 0 ? 0.0L : maker.fine_normal(5);
    expect_same_as_loop(s, start, "typical", round);
  }
}

TEST(AddDivergenceSample, MatchesTheLoopOnAwkwardStates) {
  model_test::StateMaker maker(4242);
  Real s[33];
  for (int round = 0; round < 1500; ++round) {
    maker.awkward(s);
    model.FlockDamping = maker.damping();
    expect_same_as_loop(s, round % 2 ? 0.0L : -0.0L, "awkward", round);
  }
}

TEST(AddDivergenceSample, KeepsAccumulatingIntoTheCallersSum) {
  model_test::StateMaker maker(3);
  Real s[33];
  maker.typical(s);
  model.FlockDamping = 0.25L;
  const Real inf = std::numeric_limits<Real>::infinity();
  for (Real start : {-0.0L, 1e30L, -7.25L, inf, -inf, std::numeric_limits<Real>::quiet_NaN()}) {
    expect_same_as_loop(s, start, "start value", 0);
  }
}

TEST(AddDivergenceSample, NonFiniteVelocityMakesThePositionTermNaN) {
  model_test::StateMaker maker(4);
  Real s[33];
  maker.typical(s);
  model.FlockDamping = 0.5L;
  s[7] = std::numeric_limits<Real>::infinity();  // x velocity of body 2
  Real sum = 0;
  AddDivergenceSample(model, s, Epsilon, sum);
  EXPECT_TRUE(std::isnan(sum));
  expect_same_as_loop(s, 0, "infinite velocity", 0);
}

TEST(AddDivergenceSample, RaisesFromTheLoweredValue) {
  // For velocities much smaller than epsilon (or large ones) v - epsilon/2 is
  // rounded, so raising it by epsilon differs from v + epsilon/2.
  model_test::StateMaker maker(5);
  Real s[33];
  for (int round = 0; round < 50; ++round) {
    maker.typical(s);
    for (int k = 0; k < 8; ++k) {
      s[4 * k + 3] = maker.fine_normal(1e-12L);
      s[4 * k + 4] = maker.fine_normal(1e5L);
    }
    model.FlockDamping = maker.damping();
    expect_same_as_loop(s, 0, "small and large velocities", round);
  }
}

// The flow's divergence is the trace of the Jacobian: only the drag terms
// depend on the velocities, so it is -(14 D / 0.3 + 1) everywhere.
TEST(AddDivergenceSample, IsCloseToTheConstantDivergence) {
  model_test::StateMaker maker(99);
  Real s[33];
  for (int round = 0; round < 200; ++round) {
    maker.typical(s);
    const Real d = maker.damping();
    model.FlockDamping = d;
    Real sum = 0;
    AddDivergenceSample(model, s, Epsilon, sum);
    const Real exact = -(14 * d / 0.3L + 1);
    EXPECT_NEAR(static_cast<double>(sum), static_cast<double>(exact), 1e-7) << "damping " << d;
  }
}

}  // namespace
