// The passes of the measurement options: the shadow stepped by the
// reference's map against a plain transcription, the reference unchanged,
// two threads against one, the tangent estimate against the robust one, and
// a column that the plain pass loses measured in full.
#include <gtest/gtest.h>

#include <cmath>

#include "app/measure/column_pass.hpp"
#include "app/measure/pair_stepper.hpp"
#include "app/measure/pass_steps.hpp"
#include "app/measure/plain_pass.hpp"
#include "app/model/integrator.hpp"
#include "app/model/model_test_support.hpp"
#include "support/one_processor.hpp"

namespace {

using model_test::model;
using model_test::same;

void plain_derivs(const Real* state, Real* rates) { plain::flock_derivs_fast(state, rates); }

// The shadow's step by a given map, straight from the step's description:
// coarse step, two half steps, k sub-steps when k > 2, Richardson, then the
// given shifts in place of the shadow's own folds.
void plain_step_by_map(const Real* y, int k, FoldShifts shifts, Real* yout) {
  Real y0[33] = {}, y1[33] = {}, dydx[33] = {};
  const Real h = TimeStep;
  for (int i = 1; i <= 32; ++i) y0[i] = y[i];
  plain::step_rk4(y0, dydx, 32, h, yout, plain_derivs);
  plain::step_rk4(y0, dydx, 32, h / 2, y1, plain_derivs);
  plain::step_rk4(y1, dydx, 32, h / 2, y1, plain_derivs);
  if (k > 2) {
    plain::step_rk4(y0, dydx, 32, h / k, y1, plain_derivs);
    for (int s = 1; s <= k - 1; ++s) plain::step_rk4(y1, dydx, 32, h / k, y1, plain_derivs);
  }
  const Real c = 1 / (power(k, 4) - 1);
  for (int i = 1; i <= 32; ++i) yout[i] = y1[i] + (y1[i] - yout[i]) * c;
  if (shifts.down1) yout[1] = yout[1] - Pi * 2;
  if (shifts.up1) yout[1] = yout[1] + Pi * 2;
  if (shifts.down3) yout[3] = yout[3] - Pi * 2;
}

TEST(ShadowByMap, MatchesThePlainStep) {
  struct Case {
    int k;
    FoldShifts shifts;
  };
  const Case cases[] = {{2, {}},
                        {3, {true, false, false}},
                        {7, {false, true, true}},
                        {40, {false, false, true}},
                        {1000, {true, false, true}}};
  for (const Case& c : cases) {
    for (int seed = 1; seed <= 10; ++seed) {
      model_test::StateMaker make(300 * c.k + seed);
      Real y[33] = {}, want[33] = {}, scratch[33];
      make.awkward(y);
      model.FlockDamping = make.damping();
      plain_step_by_map(y, c.k, c.shifts, want);
      StepDraft draft;
      ShadowBegin(model, y, scratch, draft);
      ShadowFinish(model, draft, scratch, c.k, y);  // in place, as the sweep steps
      ApplyFolds(y, c.shifts);
      for (int i = 1; i <= 32; ++i) ASSERT_TRUE(same(y[i], want[i])) << "k " << c.k << " seed " << seed << " i " << i;
    }
  }
}

// A column from the start of a run at the given damping, with the given
// measurement options, as a single-column run starts it.
struct Column {
  plain::ProductionColumn c;
  const Real* const tangent = c.pass.tangent.data();
  Real exponent = 0, divergence = 0;
  Column(Real damping, bool robust, bool with_tangent) {
    model.FlockDamping = damping;
    c.pass.model = model;
    c.pass.robust = robust;
    if (with_tangent) StartTangent(c.pass);
  }
  template <class Advance>
  PassEnd pass(Advance advance) {
    ++c.pass.Iteration;
    advance(c.pass);
    return FinishPass(c.pass, exponent, divergence);
  }
};

void alone(ColumnPass& p) { AdvanceMeasured(p, MeasuredAdvance{}); }
void plain_default(ColumnPass& p) { AdvanceBoth(p, PassAdvance{}); }

// Damping 0.05 from the initial state: a close encounter soon carries the
// plain pass's shadow beyond the bound, and it never comes back.
const Real LowDamping = 0.05L;

TEST(RobustPass, ReferenceIsThePlainPassReferenceAndMeasuresWhatThePlainPassLoses) {
  Column plain_run(LowDamping, false, false), robust(LowDamping, true, true);
  const int passes = 12000;
  int first_diverged = 0;
  for (int p = 1; p <= passes; ++p) {
    if (plain_run.pass(plain_default) == PassEnd::Diverged && first_diverged == 0) first_diverged = p;
    robust.pass(alone);
    for (int i = 1; i <= 32; ++i) ASSERT_TRUE(same(plain_run.c.ref[i], robust.c.ref[i])) << "pass " << p << " i " << i;
  }
  std::printf("plain pass first beyond the bound at pass %d; measured %d of %d, robust %d (%d large)\n", first_diverged,
              plain_run.c.pass.MeasuredSteps, passes, robust.c.pass.MeasuredSteps, robust.c.pass.LargePasses);
  EXPECT_LT(plain_run.c.pass.MeasuredSteps, passes / 2);  // stuck beyond the bound
  EXPECT_EQ(robust.c.pass.MeasuredSteps, passes - 999);
}

void compare_threads(PairStepper& stepper, int passes) {
  Column one(LowDamping, true, true), two(LowDamping, true, true);
  for (int p = 1; p <= passes; ++p) {
    const PassEnd a = one.pass(alone);
    const PassEnd b = two.pass([&stepper](ColumnPass& q) {
      AdvanceMeasured(q, [&stepper](const FlockModel& m, Real* r, Real* s, Real* t, bool robust) { stepper.advance(m, r, s, t, robust); });
    });
    ASSERT_EQ(a, b) << p;
    for (int i = 1; i <= 32; ++i) {
      ASSERT_TRUE(same(one.c.ref[i], two.c.ref[i])) << "pass " << p << " ref " << i;
      ASSERT_TRUE(same(one.c.shadow[i], two.c.shadow[i])) << "pass " << p << " shadow " << i;
      ASSERT_TRUE(same(one.tangent[i], two.tangent[i])) << "pass " << p << " tangent " << i;
    }
  }
  EXPECT_TRUE(same(one.exponent, two.exponent));
  EXPECT_TRUE(same(TangentExponent(one.c.pass), TangentExponent(two.c.pass)));
}

// Through the close encounter near pass 6250, where the steps refine.
TEST(RobustPass, TwoThreadsEqualOne) {
  PairStepper stepper;
  compare_threads(stepper, 6400);
  EXPECT_EQ(stepper.steps_taken_back() + stepper.steps_by_worker(), 6400u);
}

TEST(RobustPass, TwoThreadsOnOneProcessorEqualOne) {
  OnOneProcessor pin;
  ASSERT_TRUE(pin.pinned());
  {
    PairStepper stepper;  // the worker, waiting for the sub-step count, shares the processor
    compare_threads(stepper, 600);
    EXPECT_GT(stepper.steps_taken_back(), 0u);
  }
}

TEST(TangentEstimate, AgreesWithTheRobustEstimate) {
  // Damping 0.87, a converging column. Both estimates follow one reference
  // trajectory from one direction (the diagonal), so they differ only by
  // the shadow's nonlinearity: per pass the log growth of a separation of
  // 1e-8 differs from the linear one by about 1e-8 times the model's
  // curvature (of order 1 to 100 here), that is by at most 1e-6, and the
  // exponents, mean log growths divided by the step 0.01, by at most 1e-4.
  // Their batch standard error is a hundred times larger.
  Column robust(0.87L, true, true);
  for (int p = 1; p <= 8000; ++p) robust.pass(alone);
  const Real two_trajectories = robust.exponent;
  const Real tangent = TangentExponent(robust.c.pass);
  EXPECT_NEAR(static_cast<double>(two_trajectories), static_cast<double>(tangent), 1e-4);
  const std::optional<Real> error = batch_standard_error(robust.c.pass.batch);
  ASSERT_TRUE(error);
  EXPECT_GT(*error, 100 * std::fabs(two_trajectories - tangent));
  std::printf("damping 0.87: robust %.10Lf tangent %.10Lf standard error %.6Lf\n", two_trajectories, tangent, *error);
}

}  // namespace
