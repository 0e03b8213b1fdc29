#include "runtime/decimal_image.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace {

std::string digits_of(const DecimalImage& image) { return std::string(image.digits.begin(), image.digits.end()); }

TEST(DecimalImage, ExactCases) {
  struct Case {
    Real value;
    const char* digits;
    std::int32_t exponent;
  };
  const Real inf = std::numeric_limits<Real>::infinity();
  const Case cases[] = {
      {1, "100000000000000000", 1},
      {-2.5L, "250000000000000000", 1},
      {12345, "123450000000000000", 5},
      {0.05L, "500000000000000000", -1},  // the nearest extended value is 0.05 to 18 digits
      {0.15L, "150000000000000000", 0},
      {1e-5L, "100000000000000000", -4},
      {999999999999999999.0L, "999999999999999999", 18},
      {1e18L, "100000000000000000", 19},
      {9223372036854775808.0L, "922337203685477581", 19},  // 2^63: the 19th digit rounds
      {0.0L, "000000000000000000", 1},
      {-0.0L, "000000000000000000", 1},
      {std::numeric_limits<Real>::quiet_NaN(), "000000000000000000", 1},
      {inf, "999999999999999999", 999},
      {-inf, "999999999999999999", 999},
  };
  for (const Case& c : cases) {
    DecimalImage image = decimal_image(c.value);
    EXPECT_EQ(digits_of(image), c.digits) << static_cast<double>(c.value);
    EXPECT_EQ(image.exponent, c.exponent) << static_cast<double>(c.value);
  }
}

// Digits and exponent of the correctly rounded 18-digit decimal of v.
struct Reference {
  long long digits;
  int exponent;
};

Reference reference(Real v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17Le", std::fabs(v));
  std::string d(1, buf[0]);
  d.append(buf + 2, 17);
  return {std::stoll(d), std::atoi(buf + 20) + 1};
}

// The image may differ from the correctly rounded decimal by one unit in the
// 18th digit (the power of ten and the product are rounded in extended
// precision), never more, and it always has 18 significant digits.
void expect_close_to_reference(Real v) {
  DecimalImage image = decimal_image(v);
  ASSERT_NE(image.digits[0], '0') << static_cast<double>(v);
  long long ours = std::stoll(digits_of(image));
  Reference ref = reference(v);
  // Across a power of ten (999..9 against 100..0) compare in the units of
  // the smaller exponent.
  long long diff = 1000;
  if (image.exponent == ref.exponent) {
    diff = std::llabs(ours - ref.digits);
  } else if (image.exponent + 1 == ref.exponent) {
    diff = std::llabs(ref.digits * 10 - ours);
  } else if (image.exponent == ref.exponent + 1) {
    diff = std::llabs(ours * 10 - ref.digits);
  }
  EXPECT_LE(diff, 1) << "value " << static_cast<double>(v) << " image " << digits_of(image) << "E" << image.exponent;
}

TEST(DecimalImage, EveryBinaryExponent) {
  // Both ends of every binade, denormals included: the exponent estimate is
  // off by one in both directions somewhere in this range.
  for (int e = -16445; e <= 16383; ++e) {
    expect_close_to_reference(std::ldexp(1.0L, e));
    Real top = std::ldexp(2.0L - std::ldexp(1.0L, -63), e);
    if (std::isfinite(top)) expect_close_to_reference(top);
  }
}

TEST(DecimalImage, RandomValuesOverTheWholeRange) {
  std::mt19937_64 rng(20240601);
  for (int i = 0; i < 50000; ++i) {
    int e = static_cast<int>(rng() % 32829) - 16445;
    Real mantissa = 1 + static_cast<Real>(rng() >> 1) / 9223372036854775808.0L;
    Real v = std::ldexp(mantissa, e);
    if (v == 0 || !std::isfinite(v)) continue;
    expect_close_to_reference(i % 2 ? v : -v);
  }
}

TEST(DecimalImage, ExactWhereTheScaledProductIsExact) {
  // Integers below 2^64 scaled by an exact power of ten: no rounding before
  // the final one, so the image is the correctly rounded decimal.
  std::mt19937_64 rng(5);
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t n = rng() >> (rng() % 64);
    if (n == 0) continue;
    Real v = static_cast<Real>(n);
    if (v >= 1e17L && v < 1e18L) {
      EXPECT_EQ(digits_of(decimal_image(v)), std::to_string(n));
      EXPECT_EQ(decimal_image(v).exponent, 18);
    }
    if (v < 1e17L) {
      std::string s = std::to_string(n);
      EXPECT_EQ(digits_of(decimal_image(v)), s + std::string(18 - s.size(), '0'));
      EXPECT_EQ(decimal_image(v).exponent, static_cast<std::int32_t>(s.size()));
    }
  }
}

}  // namespace
