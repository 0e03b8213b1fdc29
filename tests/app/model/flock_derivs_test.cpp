#include "app/model/flock_derivs.hpp"

#include <gtest/gtest.h>

#include "app/model/flock_terms.hpp"
#include "app/model/model_test_support.hpp"
#include "app/model/plain_model.hpp"

namespace {

using model_test::model;
using model_test::same;

// Bodies placed by (x, y), velocities zero; body 8 is the chaser.
void place(Real* s, const Real (&xy)[8][2]) {
  for (int k = 0; k < 8; ++k) {
    s[4 * k + 1] = xy[k][0];
    s[4 * k + 2] = xy[k][1];
    s[4 * k + 3] = 0;
    s[4 * k + 4] = 0;
  }
}

void expect_same_as_plain(const Real* state, const char* what, int round) {
  Real fast[34], slow[34];
  for (Real& r : fast) r = 7;
  for (Real& r : slow) r = 7;
  FlockDerivs(model, state, fast);
  plain::flock_derivs_fast(state, slow);
  for (int i = 0; i <= 33; ++i) {
    ASSERT_TRUE(same(fast[i], slow[i])) << what << " round " << round << " component " << i << ": " << fast[i]
                                        << " vs " << slow[i] << "\nstate " << model_test::describe(state)
                                        << "\ndamping " << model.FlockDamping;
  }
}

TEST(FlockDerivs, MatchesPlainSumOnTypicalStates) {
  model_test::StateMaker maker(20240611);
  Real s[33];
  for (int round = 0; round < 4000; ++round) {
    maker.typical(s);
    model.FlockDamping = maker.damping();
    expect_same_as_plain(s, "typical", round);
  }
}

TEST(FlockDerivs, MatchesPlainSumOnAwkwardStates) {
  model_test::StateMaker maker(77);
  Real s[33];
  for (int round = 0; round < 6000; ++round) {
    maker.awkward(s);
    model.FlockDamping = maker.damping();
    expect_same_as_plain(s, "awkward", round);
  }
}

TEST(FlockDerivs, ZeroForceKeepsTheSignOfAZeroSum) {
  // Every body on the line x = 0, at rest, chaser on that line too: every x
  // term is a zero, and the sign of the sums depends on the sign of each.
  Real s[33];
  const Real xy[8][2] = {{0, 0}, {0, 1.5L}, {-0.0L, -2}, {0, 3}, {-0.0L, 0.5L}, {0, -4}, {0, 6}, {0, 2.5L}};
  place(s, xy);
  for (Real d : {0.0L, 0.5L}) {
    model.FlockDamping = d;
    expect_same_as_plain(s, "line", 0);
    s[3] = -0.0L;
    expect_same_as_plain(s, "line, -0 velocity", 0);
  }
}

TEST(FlockDerivs, BodiesAtRestHaveZeroPositionRatesAndNoDrag) {
  model_test::StateMaker maker(5);
  Real s[33], damped[33], undamped[33];
  maker.typical(s);
  for (int k = 0; k < 8; ++k) s[4 * k + 3] = s[4 * k + 4] = 0;
  model.FlockDamping = 0.75L;
  FlockDerivs(model, s, damped);
  model.FlockDamping = 0;
  FlockDerivs(model, s, undamped);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(damped[4 * k + 1], 0) << k;
    EXPECT_EQ(damped[4 * k + 2], 0) << k;
    EXPECT_EQ(damped[4 * k + 3], undamped[4 * k + 3]) << k;
    EXPECT_EQ(damped[4 * k + 4], undamped[4 * k + 4]) << k;
    EXPECT_NE(damped[4 * k + 3], 0) << k;
  }
}

TEST(FlockDerivs, PositionRatesAreTheVelocities) {
  model_test::StateMaker maker(6);
  Real s[33], r[33];
  maker.typical(s);
  model.FlockDamping = 0.3L;
  FlockDerivs(model, s, r);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(r[4 * k + 1], s[4 * k + 3]);
    EXPECT_EQ(r[4 * k + 2], s[4 * k + 4]);
  }
}

// Body 1 at the origin, the chaser straight above it (its push has no x
// part), bodies 3..7 at distance exactly 1 (no force): body 1's x
// acceleration is the pull of body 2 alone.
struct PairCase {
  Real x2;
  Real expected;
};

class PairForce : public testing::TestWithParam<PairCase> {};

TEST_P(PairForce, OnlyBody2Acts) {
  const PairCase c = GetParam();
  Real s[33], r[33];
  const Real xy[8][2] = {{0, 0}, {c.x2, 0}, {0, 1}, {0, -1}, {-1, 0}, {0, 1}, {0, -1}, {0, 4}};
  place(s, xy);
  model.FlockDamping = 0.5L;
  FlockDerivs(model, s, r);
  EXPECT_EQ(r[3], c.expected);
}

INSTANTIATE_TEST_SUITE_P(Distances, PairForce,
                         testing::Values(PairCase{1, 0},                     // g = 0 at distance 1
                                         PairCase{-1, 0},
                                         PairCase{2, 0.25L / 0.3L},          // g = 1/4 - 1/8, pull 0.25
                                         PairCase{-2, -0.25L / 0.3L},
                                         PairCase{0.5L, -2 / 0.3L}));  // g = 4 - 8: pushed away

TEST(FlockDerivs, PairTermsAreEqualAndOpposite) {
  const flock::PairTerms p = flock::pair_terms(0, 0, 2, 0);
  EXPECT_EQ(p.to_i_x, 0.25L / 0.3L);
  EXPECT_EQ(p.to_j_x, -0.25L / 0.3L);
  EXPECT_EQ(p.to_i_y, 0);
  EXPECT_EQ(p.to_j_y, 0);
}

TEST(FlockDerivs, ChaserPushesABodyAwayByOneOverDistance) {
  // Body 1 at (1, 0), the chaser at the origin, the other bodies at distance
  // exactly 1 from body 1 (two on each spot): only the chaser acts on it.
  Real s[33], r[33];
  const Real xy[8][2] = {{1, 0}, {2, 0}, {1, 1}, {1, -1}, {2, 0}, {1, 1}, {1, -1}, {0, 0}};
  place(s, xy);
  model.FlockDamping = 0.4L;
  FlockDerivs(model, s, r);
  EXPECT_EQ(r[3], 1 / 0.3L);
  EXPECT_EQ(r[4], 0);
}

TEST(FlockDerivs, ABodyPullsTheChaserByOneOverDistance) {
  // Body 1 at (1, 0); the others in pairs straight above and below the
  // chaser, whose pulls cancel exactly and have no x part.
  Real s[33], r[33];
  const Real xy[8][2] = {{1, 0}, {0, 3}, {0, -3}, {0, 5}, {0, -5}, {0, 7}, {0, -7}, {0, 0}};
  place(s, xy);
  model.FlockDamping = 0.4L;
  FlockDerivs(model, s, r);
  EXPECT_EQ(r[31], 1 / 0.2L);
  EXPECT_EQ(r[32], 0);
}

TEST(FlockDerivs, ZeroDampingLeavesOnlyTheChasersDrag) {
  model_test::StateMaker maker(8);
  Real moving[33], resting[33], a[33], b[33];
  maker.typical(moving);
  for (int i = 0; i <= 32; ++i) resting[i] = moving[i];
  for (int k = 0; k < 8; ++k) resting[4 * k + 3] = resting[4 * k + 4] = 0;
  model.FlockDamping = 0;
  FlockDerivs(model, moving, a);
  FlockDerivs(model, resting, b);
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(a[4 * k + 3], b[4 * k + 3]) << k;
    EXPECT_EQ(a[4 * k + 4], b[4 * k + 4]) << k;
  }
  // The chaser's drag: -0.1 v / 0.2 = -v / 2.
  EXPECT_NEAR(static_cast<double>(a[31] - b[31]), static_cast<double>(-moving[31] / 2), 1e-15);
  EXPECT_NEAR(static_cast<double>(a[32] - b[32]), static_cast<double>(-moving[32] / 2), 1e-15);
  EXPECT_NE(moving[31], 0);
}

TEST(FlockDerivs, TouchesOnly1To32) {
  model_test::StateMaker maker(9);
  Real s[33];
  maker.typical(s);
  model.FlockDamping = 0.6L;
  Real reference[34];
  FlockDerivs(model, s, reference);
  Real r[34];
  for (Real& v : r) v = -123.5L;
  FlockDerivs(model, s, r);
  EXPECT_EQ(r[0], -123.5L);
  EXPECT_EQ(r[33], -123.5L);
  for (int i = 1; i <= 32; ++i) EXPECT_TRUE(same(r[i], reference[i])) << i;
}

TEST(FlockDerivs, CoincidingBodiesGiveNaNsWithoutTrapping) {
  Real s[33], r[33];
  const Real xy[8][2] = {{0.5L, 0.5L}, {0.5L, 0.5L}, {1, 2}, {3, 4}, {-1, 2}, {-3, 1}, {2, -2}, {5, 5}};
  place(s, xy);
  model.FlockDamping = 0.5L;
  FlockDerivs(model, s, r);
  EXPECT_TRUE(std::isnan(r[3]));
  EXPECT_TRUE(std::isnan(r[7]));
  // The other bodies only see the pair from outside: finite.
  EXPECT_TRUE(std::isfinite(r[11]));
  EXPECT_TRUE(std::isfinite(r[31]));
}

}  // namespace
