#include "app/model/integrator.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "app/model/flock_derivs.hpp"
#include "app/model/model_test_support.hpp"
#include "app/model/plain_model.hpp"
#include "runtime/numeric.hpp"

namespace {

using model_test::model;
using model_test::same;

const Real Tol = widen(1e-8f);

TEST(StepTolerance, IsTheSingleWidened) {
  EXPECT_EQ(StepTolerance, 11258999 * 0x1p-50L);
}

TEST(Pi, IsTheProgramsDecimalValue) {
  // 3.141592653589794 rounded to extended: significand 0xC90FDAA22168CFED.
  EXPECT_EQ(Pi, 0xC90FDAA22168CFEDp-62L);
  EXPECT_GT(Pi, 3.14159265358979323846264338327950288L);
}

struct SubStepCase {
  Real err;
  int k;
};

class SubSteps : public testing::TestWithParam<SubStepCase> {};

TEST_P(SubSteps, Count) { EXPECT_EQ(SubStepCount(GetParam().err), GetParam().k) << GetParam().err / Tol; }

// k stays 2 while (err/tol)^(1/4) <= 2 - 1.1f = 0.8999999761...
const Real KeepTwo = power(2 - widen(1.1f), 4) * Tol;

INSTANTIATE_TEST_SUITE_P(
    Rule, SubSteps,
    testing::Values(SubStepCase{0, 2}, SubStepCase{Tol, 3}, SubStepCase{16 * Tol, 4}, SubStepCase{1e4L * Tol, 12},
                    SubStepCase{0.5L * Tol, 2}, SubStepCase{KeepTwo * (1 - 1e-12L), 2},
                    SubStepCase{KeepTwo * (1 + 1e-12L), 3}, SubStepCase{81 * Tol, 5},
                    SubStepCase{power(997, 4) * Tol, 999}, SubStepCase{power(998, 4) * Tol, 1000},
                    SubStepCase{power(998.9L, 4) * Tol * (1 + 1e-12L), 1000}, SubStepCase{1e30L, 1000},
                    SubStepCase{std::numeric_limits<Real>::infinity(), 1000},
                    SubStepCase{std::numeric_limits<Real>::quiet_NaN(), 1000}));

struct FoldCase {
  int component;
  Real before;
  Real after;
};

class Folds : public testing::TestWithParam<FoldCase> {};

TEST_P(Folds, OnlyTheNamedComponentMoves) {
  const FoldCase c = GetParam();
  Real s[33];
  for (int i = 0; i <= 32; ++i) s[i] = 0.5L + i;
  s[1] = 0.25L;
  s[3] = 0.75L;
  s[c.component] = c.before;
  Real expected[33];
  for (int i = 0; i <= 32; ++i) expected[i] = s[i];
  expected[c.component] = c.after;
  FoldStep(s);
  for (int i = 0; i <= 32; ++i) EXPECT_EQ(s[i], expected[i]) << "component " << i;
}

const Real TwoPi = 2 * 3.141592653589794L;

INSTANTIATE_TEST_SUITE_P(
    Components, Folds,
    testing::Values(FoldCase{1, 3.2L, 3.2L - TwoPi}, FoldCase{1, -3.2L, -3.2L + TwoPi}, FoldCase{1, 10, 10 - TwoPi},
                    FoldCase{1, -10, -10 + TwoPi}, FoldCase{1, 3.141592653589794L, 3.141592653589794L},
                    FoldCase{1, -3.141592653589794L, -3.141592653589794L}, FoldCase{1, 3, 3},
                    FoldCase{3, 7, 7 - TwoPi}, FoldCase{3, -7, -7}, FoldCase{3, 20, 20 - TwoPi},
                    FoldCase{3, TwoPi, TwoPi}, FoldCase{3, 3.2L, 3.2L}, FoldCase{2, 10, 10}, FoldCase{4, 10, 10},
                    FoldCase{29, 10, 10}));

void expect_same_vectors(const Real* a, const Real* b, const char* what, int round) {
  for (int i = 1; i <= 32; ++i) {
    ASSERT_TRUE(same(a[i], b[i])) << what << " round " << round << " component " << i << ": " << a[i] << " vs "
                                  << b[i];
  }
}

TEST(StepRK4, MatchesThePlainStep) {
  model_test::StateMaker maker(11);
  Real y[33], dydx[33], out[33], plain_dydx[33], plain_out[33];
  for (int round = 0; round < 600; ++round) {
    if (round % 4 == 3) {
      maker.awkward(y);
    } else {
      maker.typical(y);
    }
    model.FlockDamping = maker.damping();
    const Real h = round % 2 ? 0.01L : maker.uniform() * 0.2L;
    StepRK4(model, y, dydx, h, out);
    plain::step_rk4(y, plain_dydx, 32, h, plain_out, plain::flock_derivs_fast);
    expect_same_vectors(out, plain_out, "result", round);
    expect_same_vectors(dydx, plain_dydx, "slope", round);
  }
}

TEST(StepAdaptive, MatchesThePlainStep) {
  model_test::StateMaker maker(12);
  Real y[33], dydx[33], out[33], plain_dydx[33], plain_out[33];
  int refined = 0;
  for (int round = 0; round < 300; ++round) {
    if (round % 5 == 4) {
      maker.awkward(y);
    } else {
      maker.typical(y);
    }
    model.FlockDamping = maker.damping();
    const Real hs[] = {0.01L, 0.001L, 0.05L, 0.2L};
    const Real h = hs[round % 4];
    const int sub_steps = StepAdaptive(model, y, dydx, h, out);
    plain::step_adaptive(y, plain_dydx, 32, h, plain_out, plain::flock_derivs_fast);
    expect_same_vectors(out, plain_out, "result", round);
    expect_same_vectors(dydx, plain_dydx, "scratch slope", round);
    // The step says how many sub-steps it took; count the refined ones.
    Real coarse[33], halves[33], scratch[33];
    StepRK4(model, y, scratch, h, coarse);
    StepRK4(model, y, scratch, h / 2, halves);
    StepRK4(model, halves, scratch, h / 2, halves);
    Real err = 0;
    for (int i = 1; i <= 32; ++i) err = std::fabs(coarse[i] - halves[i]) > err ? std::fabs(coarse[i] - halves[i]) : err;
    EXPECT_EQ(sub_steps, SubStepCount(err)) << round;
    if (sub_steps > 2) ++refined;
  }
  EXPECT_GT(refined, 30);
  EXPECT_LT(refined, 270);
}

TEST(StepAdaptive, WithoutRefinementExtrapolatesTwoHalfStepsAgainstTheCoarseStep) {
  model_test::StateMaker maker(13);
  Real y[33], dydx[33], out[33], coarse[33], halves[33];
  maker.typical(y);
  model.FlockDamping = 0.5L;
  const Real h = 1e-4L;
  StepRK4(model, y, dydx, h, coarse);
  StepRK4(model, y, dydx, h / 2, halves);
  StepRK4(model, halves, dydx, h / 2, halves);
  Real err = 0;
  for (int i = 1; i <= 32; ++i) err = std::fmax(err, std::fabs(coarse[i] - halves[i]));
  ASSERT_EQ(SubStepCount(err), 2);
  StepAdaptive(model, y, dydx, h, out);
  for (int i = 1; i <= 32; ++i) {
    Real expected = halves[i] + (halves[i] - coarse[i]) * (1 / 15.0L);
    if (i == 1 && expected > Pi) expected = expected - 2 * Pi;
    if (i == 1 && expected < -Pi) expected = expected + 2 * Pi;
    if (i == 3 && expected > 2 * Pi) expected = expected - 2 * Pi;
    EXPECT_EQ(out[i], expected) << i;
    // The same as (16 halves - coarse) / 15 up to rounding.
    EXPECT_NEAR(static_cast<double>(out[i]), static_cast<double>((16 * halves[i] - coarse[i]) / 15), 1e-15) << i;
  }
}

TEST(StepAdaptive, ZeroStepLeavesTheStateAlone) {
  model_test::StateMaker maker(14);
  Real y[33], dydx[33], out[33];
  maker.typical(y);
  y[1] = 1;
  y[3] = 1;
  model.FlockDamping = 0.5L;
  StepAdaptive(model, y, dydx, 0, out);
  for (int i = 1; i <= 32; ++i) EXPECT_EQ(out[i], y[i]) << i;
}

TEST(StepAdaptive, InPlaceGivesTheSameAsSeparateArrays) {
  model_test::StateMaker maker(15);
  Real y[33], dydx[33], out[33];
  for (int round = 0; round < 50; ++round) {
    maker.typical(y);
    model.FlockDamping = maker.damping();
    const Real h = round % 2 ? 0.01L : 0.1L;
    StepAdaptive(model, y, dydx, h, out);
    StepAdaptive(model, y, dydx, h, y);
    expect_same_vectors(y, out, "in place", round);
    StepRK4(model, out, dydx, h, y);
    StepRK4(model, out, dydx, h, out);
    expect_same_vectors(y, out, "rk4 in place", round);
  }
}

// Body 1 near the fold boundaries: the step's result comes back by 2 Pi.
struct StepFoldCase {
  int component;
  Real start;
  Real shift;  // multiple of 2 Pi added by the fold
};

class StepFolds : public testing::TestWithParam<StepFoldCase> {};

TEST_P(StepFolds, ResultIsFolded) {
  const StepFoldCase c = GetParam();
  model_test::StateMaker maker(16);
  Real y[33], dydx[33], out[33], plain_dydx[33], plain_out[33];
  maker.typical(y);
  y[1] = 0.1L;
  y[3] = 0.1L;
  y[c.component] = c.start;
  model.FlockDamping = 0.5L;
  StepAdaptive(model, y, dydx, 1e-6L, out);
  EXPECT_NEAR(static_cast<double>(out[c.component]), static_cast<double>(c.start + c.shift * 2 * Pi), 1e-4);
  plain::step_adaptive(y, plain_dydx, 32, 1e-6L, plain_out, plain::flock_derivs_fast);
  expect_same_vectors(out, plain_out, "fold", c.component);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, StepFolds,
                         testing::Values(StepFoldCase{1, 3.2L, -1}, StepFoldCase{1, -3.2L, 1},
                                         StepFoldCase{1, 10, -1}, StepFoldCase{1, 3, 0}, StepFoldCase{3, 7, -1},
                                         StepFoldCase{3, -7, 0}, StepFoldCase{3, 6, 0}));

TEST(StepAdaptive, TwoThreadsAtOnceGiveTheSerialResults) {
  model_test::StateMaker maker(17);
  Real a[33], b[33];
  maker.typical(a);
  maker.typical(b);
  model.FlockDamping = 0.4L;
  Real serial_a[33], serial_b[33], scratch[33];
  for (int i = 0; i <= 32; ++i) {
    serial_a[i] = a[i];
    serial_b[i] = b[i];
  }
  const int steps = 300;
  for (int s = 0; s < steps; ++s) {
    StepAdaptive(model, serial_a, scratch, 0.01L, serial_a);
    StepAdaptive(model, serial_b, scratch, 0.01L, serial_b);
  }
  auto run = [steps](Real* state) {
    Real derivs[33];
    for (int s = 0; s < steps; ++s) StepAdaptive(model, state, derivs, 0.01L, state);
  };
  std::thread first(run, a);
  std::thread second(run, b);
  first.join();
  second.join();
  expect_same_vectors(a, serial_a, "thread a", 0);
  expect_same_vectors(b, serial_b, "thread b", 0);
}

// Seven flock bodies on a regular heptagon of radius R around the chaser,
// rotating rigidly without damping: the chaser's push outward and the pairs'
// pull inward leave just the centripetal force, so the motion is a uniform
// rotation at a known rate.
struct Heptagon {
  Real radius = 2;
  Real omega = 0;
  Heptagon() {
    Real inward = 0;
    for (int m = 1; m <= 6; ++m) {
      const Real chord = 2 * radius * std::sin(3.14159265358979323846264338327950288L * m / 7);
      inward += (1 - 1 / chord) / (2 * radius);
    }
    const Real acceleration = (inward - 1 / radius) / 0.3L;
    omega = std::sqrt(acceleration / radius);
  }
  void at(Real t, Real* s) const {
    s[0] = 0;
    for (int k = 0; k < 7; ++k) {
      const Real angle = 2 * 3.14159265358979323846264338327950288L * k / 7 + omega * t;
      s[4 * k + 1] = radius * std::cos(angle);
      s[4 * k + 2] = radius * std::sin(angle);
      s[4 * k + 3] = -radius * omega * std::sin(angle);
      s[4 * k + 4] = radius * omega * std::cos(angle);
    }
    for (int i = 29; i <= 32; ++i) s[i] = 0;
  }
};

TEST(StepRK4, HeptagonIsAnExactSolution) {
  Heptagon h;
  Real s[33], r[33], later[33];
  model.FlockDamping = 0;
  h.at(0.3L, s);
  FlockDerivs(model, s, r);
  h.at(0.3L + 1e-6L, later);
  for (int i = 1; i <= 32; ++i) {
    EXPECT_NEAR(static_cast<double>(r[i]), static_cast<double>((later[i] - s[i]) / 1e-6L), 1e-5) << i;
  }
}

TEST(StepRK4, ErrorShrinksSixteenfoldWhenTheStepHalves) {
  Heptagon h;
  model.FlockDamping = 0;
  const Real end = 2;
  Real exact[33];
  h.at(end, exact);
  Real errors[3];
  for (int level = 0; level < 3; ++level) {
    const int steps = 8 << level;
    Real s[33], dydx[33];
    h.at(0, s);
    for (int n = 0; n < steps; ++n) StepRK4(model, s, dydx, end / steps, s);
    Real worst = 0;
    for (int i = 1; i <= 32; ++i) worst = std::fmax(worst, std::fabs(s[i] - exact[i]));
    errors[level] = worst;
  }
  ASSERT_GT(errors[2], 1e-12L);  // well above rounding
  for (int level = 0; level < 2; ++level) {
    const Real ratio = errors[level] / errors[level + 1];
    EXPECT_GT(ratio, 13) << level;
    EXPECT_LT(ratio, 19) << level;
  }
}

}  // namespace
