#include "runtime/numeric.hpp"

#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

struct PowerCase {
  Real x, y, expected;
};

TEST(Power, ExactCases) {
  const PowerCase cases[] = {
      {-3, 2, 9},       {-2, 3, -8},          {2, -2, 0.25L}, {0, 0, 1},   {5, 0, 1},
      {-8, 1.0L / 3, 1},  // a negative base rounds the exponent, to 0 here
      {0, 3, 0},        {3, 4, 81},           {-2, 2.6L, -8},  {10, 18, 1e18L},
      {1.5L, 2, 2.25L}, {4, 1.5L, 8},         {16, 0.25L, 2},  {9, 0.5L, 3},
  };
  for (const PowerCase& c : cases) {
    EXPECT_EQ(power(c.x, c.y), c.expected) << c.x << "^" << c.y;
  }
}

TEST(Power, ZeroToNegativeIsNaN) { EXPECT_TRUE(std::isnan(power(0, -1))); }

TEST(Power, SquareIsOneRoundedProduct) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> d(-1e6, 1e6);
  for (int i = 0; i < 1000; ++i) {
    Real x = static_cast<Real>(d(rng)) / 3;
    EXPECT_EQ(power(x, 2), x * x);
  }
}

TEST(Power, LargeIntegerExponentOfNegativeBase) {
  Real even = power(-1.00001L, 65536);
  Real odd = power(-1.00001L, 65537);
  EXPECT_NEAR(static_cast<double>(even), 1.92583, 1e-5);
  EXPECT_NEAR(static_cast<double>(odd), -1.92585, 1e-5);
}

// Distance in units in the last place of the extended format.
long double ulps(Real a, Real b) {
  int e;
  std::frexp(b, &e);
  return std::fabs(a - b) / std::ldexp(1.0L, e - 64);
}

TEST(Power, FastPathsWithinTwoUlpsOfExpLn) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> exponent(-4000, 4000);
  std::uniform_real_distribution<double> mantissa(0.5, 1.0);
  for (int i = 0; i < 20000; ++i) {
    Real x = std::ldexp(static_cast<Real>(mantissa(rng)), static_cast<int>(exponent(rng)));
    EXPECT_LE(ulps(power(x, 1.5L), power_by_exp_ln(x, 1.5L)), 2) << static_cast<double>(x);
    EXPECT_LE(ulps(power(x, 0.25L), power_by_exp_ln(x, 0.25L)), 2) << static_cast<double>(x);
  }
  for (Real x : {1e-6L, 0.3L, 1.0L, 2.0L, 3.0L, 1e6L}) {
    EXPECT_LE(ulps(power(x, 1.5L), power_by_exp_ln(x, 1.5L)), 2);
  }
}

TEST(NaturalLog, SpecialValuesGiveZero) {
  const Real zeros[] = {0.0L, -0.0L, -1.0L, INFINITY, -INFINITY, NAN, LDBL_TRUE_MIN, LDBL_MIN / 2};
  for (Real x : zeros) EXPECT_EQ(natural_log(x), 0.0L) << static_cast<double>(x);
  EXPECT_EQ(natural_log(1.0L), 0.0L);
  EXPECT_NEAR(static_cast<double>(natural_log(std::exp(1.0L))), 1.0, 1e-18);
  EXPECT_NE(natural_log(LDBL_MIN), 0.0L);
}

TEST(SquareRoot, NegativeAndNaNUnchanged) {
  EXPECT_EQ(square_root(-4), -4);
  EXPECT_TRUE(std::isnan(square_root(NAN)));
  EXPECT_EQ(square_root(16), 4);
  EXPECT_EQ(square_root(INFINITY), INFINITY);
}

TEST(RoundToDigits, TiesToEvenAndCap) {
  struct Case {
    Real x;
    int n;
    Real expected;
  };
  const Case cases[] = {
      {2.5L, 0, 2},      {3.5L, 0, 4},     {-2.5L, 0, -2},
      {1.25L, 1, 1.2L},  {1.35L, 1, 1.4L}, {0.125L, 2, 0.12L},
      {1.0L / 3, 99, std::nearbyint(1e18L / 3) / 1e18L},  // 99 means 18
      {1.0L / 3, -1, std::nearbyint(1e18L / 3) / 1e18L},  // negative means 18 too
  };
  for (const Case& c : cases) EXPECT_EQ(round_to_digits(c.x, c.n), c.expected) << c.x << " " << c.n;
}

TEST(SignOf, AllClasses) {
  EXPECT_EQ(sign_of(-3), -1);
  EXPECT_EQ(sign_of(NAN), -1);
  EXPECT_EQ(sign_of(0.0L), 0);
  EXPECT_EQ(sign_of(-0.0L), 0);
  EXPECT_EQ(sign_of(1e-4000L), 1);
}

TEST(FloatMod, Cases) {
  EXPECT_EQ(float_mod(86450, 86400), 50);
  EXPECT_EQ(float_mod(-7, 3), -1);
  EXPECT_EQ(float_mod(5, 0), 0);
  EXPECT_EQ(float_mod(7.5L, 2), 1.5L);
}

TEST(TenTo, ExactUpTo27AndHuge) {
  Real p = 1;
  for (unsigned n = 0; n <= 27; ++n, p *= 10) EXPECT_EQ(ten_to(n), p) << n;
  EXPECT_TRUE(std::isfinite(ten_to(4931)));
  EXPECT_TRUE(std::isinf(ten_to(5000)));
}

TEST(Conversions, HalvesAndRange) {
  struct Case {
    Real x;
    std::int32_t expected;
  };
  const Case cases[] = {
      {0.5L, 0},          {1.5L, 2},          {2.5L, 2},      {3.5L, 4},           {-2.5L, -2},
      {-0.5L, 0},         {2147483647.0L, INT32_MAX},         {2147483647.5L, INT32_MIN},
      {-2147483648.0L, INT32_MIN},           {-2147483648.5L, INT32_MIN},        {-2147483649.0L, INT32_MIN},
      {1e30L, INT32_MIN}, {NAN, INT32_MIN},  {INFINITY, INT32_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(to_integer(c.x), c.expected) << static_cast<double>(c.x);
  EXPECT_EQ(to_single(0.1L), 0.1f);
  EXPECT_EQ(to_single(1.0L + 0x1p-24L), 1.0f);  // tie to even
}

}  // namespace
