#include "app/model/converged_estimate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>


namespace {

// With upper bound 5 the blocks are {0,1,2}, {2,3,4} and {4,5}, each divided
// by 3; with elements 2 and 4 zero, elements 0, 3 and 5 set the three block
// sums directly.
std::vector<Real> blocks(Real a1, Real a2, Real a3) { return {3 * a1, 0, 0, 3 * a2, 0, 3 * a3}; }

struct LimitCase {
  const char* name;
  std::vector<Real> buffer;
  Real limit;
  Real limit_tolerance;
  Real range;
  Real range_tolerance;
};

class Limits : public testing::TestWithParam<LimitCase> {};

TEST_P(Limits, LimitAndRange) {
  const LimitCase& c = GetParam();
  Real limit = -99, range = -99;
  ConvergedEstimate(c.buffer.data(), static_cast<std::int32_t>(c.buffer.size()) - 1, limit, range);
  if (c.limit_tolerance == 0) {
    EXPECT_EQ(limit, c.limit) << c.name;
  } else {
    EXPECT_NEAR(static_cast<double>(limit), static_cast<double>(c.limit), static_cast<double>(c.limit_tolerance))
        << c.name;
  }
  if (c.range_tolerance == 0) {
    EXPECT_EQ(range, c.range) << c.name;
  } else {
    EXPECT_NEAR(static_cast<double>(range), static_cast<double>(c.range), static_cast<double>(c.range_tolerance))
        << c.name;
  }
}

std::vector<Real> filled(int count, Real (*f)(int)) {
  std::vector<Real> v(count);
  for (int i = 0; i < count; ++i) v[i] = f(i);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Limits,
    testing::Values(
        // Block means settling like L + c/(k + d) extrapolate to L.
        LimitCase{"1, 1/2, 1/3", blocks(1, 0.5L, 1 / 3.0L), 0, 1e-17L, 3, 0},
        LimitCase{"2, 1.5, 4/3", blocks(2, 1.5L, 4 / 3.0L), 1, 1e-17L, 6, 0},
        // Growing differences: the plain mean.
        LimitCase{"1, 2, 4", blocks(1, 2, 4), 7 / 3.0L, 0, 12, 0},
        // Equal differences are not settling: the plain mean.
        LimitCase{"1, 2, 3", blocks(1, 2, 3), 2, 0, 9, 0},
        LimitCase{"all five", filled(1000, [](int) { return 5.0L; }), 5, 0, 0, 0},
        LimitCase{"ramp", filled(1000, [](int i) { return static_cast<Real>(i); }), 499.5L, 0, 999, 0},
        // Below every element, so the range reaches from it up to element 0.
        LimitCase{"2 + 100/(i + 100)", filled(1000, [](int i) { return 2 + 100 / (i + 100.0L); }), 2.0071103L,
                  1e-7L, 0.99288973L, 1e-8L},
        // m = 1: blocks {0,1}, {1,2}, {2}, each halved: means 2, 1, 1.
        LimitCase{"upper 2", {4, 0, 2}, 1, 0, 4, 0},
        // One element: three equal means.
        LimitCase{"upper 0", {-2.5L}, -2.5L, 0, 0, 0}));

TEST(ConvergedEstimate, ThirdBlockOfALongerBufferIsStillDividedByTheBlockLength) {
  // Upper bound 1000: m = 333, and the third block holds 335 ones.
  std::vector<Real> ones(1001, 1.0L);
  Real limit, range;
  ConvergedEstimate(ones.data(), 1000, limit, range);
  const Real a3 = 335 / 334.0L;
  EXPECT_EQ(limit, ((1.0L + 1.0L) + a3) / 3);
  EXPECT_EQ(range, limit - 1);
}

TEST(ConvergedEstimate, BlocksOverlapAtTheirEnds) {
  // Only the shared elements m and 2m are set: each counts in two blocks.
  std::vector<Real> v(1000, 0.0L);
  v[333] = 334;
  v[666] = 2 * 334;
  Real limit, range;
  ConvergedEstimate(v.data(), 999, limit, range);
  // Means 1, 3, 2: |2 - 3| < |3 - 1| extrapolates.
  EXPECT_EQ(limit, ((2 * 1.0L) * 2 - 3.0L * 1 - 2.0L * 3) / ((1 - 2 * 3.0L) + 2));
  EXPECT_EQ(range, 668);
}

TEST(ConvergedEstimate, NaNElementGivesNaNRatherThanASmallSpread) {
  std::vector<Real> v(1000, 1.0L);
  v[500] = std::numeric_limits<Real>::quiet_NaN();
  Real limit, range;
  ConvergedEstimate(v.data(), 999, limit, range);
  EXPECT_TRUE(std::isnan(limit));
  EXPECT_TRUE(std::isnan(range));
}

TEST(ConvergedEstimate, NoElementsGiveNaN) {
  Real x = 0;
  Real limit = 1, range = 1;
  ConvergedEstimate(&x, -1, limit, range);
  EXPECT_TRUE(std::isnan(limit));
  EXPECT_TRUE(std::isnan(range));
}

}  // namespace
