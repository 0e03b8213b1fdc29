// Randomised checks of the formatter: arbitrary masks and values never make
// it fail, and the simple masks agree with the C library's correctly rounded
// conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "runtime/errors.hpp"
#include "runtime/format.hpp"

namespace {

constexpr Real Inf = std::numeric_limits<Real>::infinity();

class Values {
 public:
  explicit Values(std::uint64_t seed) : rng_(seed) {}

  // m x 2^e with m uniform in [1, 2) and e uniform in [lo, hi], either sign.
  Real between(int lo, int hi) {
    int e = lo + static_cast<int>(rng_() % static_cast<std::uint64_t>(hi - lo + 1));
    Real m = 1 + static_cast<Real>(rng_() >> 1) / 9223372036854775808.0L;
    Real v = std::ldexp(m, e);
    return rng_() & 1 ? -v : v;
  }

  // Anything at all, the special values often.
  Real any() {
    static const Real special[] = {0.0L,
                                   -0.0L,
                                   Inf,
                                   -Inf,
                                   std::numeric_limits<Real>::quiet_NaN(),
                                   std::numeric_limits<Real>::denorm_min(),
                                   -std::numeric_limits<Real>::denorm_min(),
                                   std::numeric_limits<Real>::min(),
                                   std::numeric_limits<Real>::max(),
                                   -std::numeric_limits<Real>::max(),
                                   0.5L,
                                   -0.5L,
                                   9.5L,
                                   999.999L};
    switch (rng_() % 4) {
      case 0:
        return special[rng_() % std::size(special)];
      case 1:
        return between(-16445, 16383);
      case 2:
        return between(-16445, -16382);  // denormals
      default:
        return between(-40, 40);
    }
  }

  std::uint64_t next() { return rng_(); }

 private:
  std::mt19937_64 rng_;
};

std::string random_mask(Values& values) {
  static const char language[] = "0#.,%Ee+-*\"\\;()$ 0#0#.0";
  std::size_t length = values.next() % 40;
  std::string mask;
  for (std::size_t i = 0; i < length; ++i) {
    std::uint64_t r = values.next();
    if (r % 5 == 0) {
      mask += static_cast<char>(r >> 8);  // any byte, NUL and high bytes too
    } else {
      mask += language[(r >> 8) % (sizeof language - 1)];
    }
  }
  return mask;
}

TEST(FormatNumberRandom, AnyMaskAnyValue) {
  Values values(12345);
  clear_error();
  for (int i = 0; i < 20000; ++i) {
    std::string mask = random_mask(values);
    Real v = values.any();
    Text a = format_number(v, mask);
    Text b = format_number(v, mask);
    ASSERT_EQ(a, b) << mask;
    // One output character per mask character at most, besides the digits
    // and group separators of a number of up to 4933 integer digits.
    ASSERT_LE(a.size(), 2 * mask.size() + 7000) << mask;
    if (std::isnan(v)) {
      ASSERT_EQ(a, "NaN");
      continue;
    }
    for (char c : a) {
      bool made = (c >= '0' && c <= '9') || c == '-' || c == '+' || c == ',' || c == '.' || c == 'E';
      ASSERT_TRUE(made || mask.find(c) != std::string::npos)
          << "character " << static_cast<int>(static_cast<unsigned char>(c)) << " from mask \"" << mask << "\"";
    }
  }
  EXPECT_EQ(last_error(), 0);
}

TEST(FormatNumberRandom, LongRandomMasks) {
  Values values(99);
  for (int i = 0; i < 200; ++i) {
    std::string mask;
    while (mask.size() < 3000) mask += random_mask(values);
    Real v = values.any();
    EXPECT_LE(format_number(v, mask).size(), 2 * mask.size() + 7000);
  }
}

// The formatter rounds the value's 18-digit image, whose last digit may be
// one off the exact decimal; the C library rounds the exact binary value.
// Both agree unless the digits after the `kept` significant ones lie within
// one unit of a tie (5000... in the 18 digits), or the rounding digit lies
// beyond the image (the formatter shows zeros there). Those values are skipped.
bool near_image_tie(Real v, int kept) {
  if (kept >= 18) return true;
  if (kept < 0) return false;
  char printed[64];
  std::snprintf(printed, sizeof printed, "%.17Le", std::fabs(v));
  std::string digits = std::string(1, printed[0]) + std::string(printed + 2, 17);
  std::string tail = digits.substr(static_cast<std::size_t>(kept));
  long long t = std::stoll(tail);
  long long half = 5;
  for (std::size_t i = 1; i < tail.size(); ++i) half *= 10;
  return std::llabs(t - half) <= 1;
}

// The decimal exponent E of v: |v| = 0.d... x 10^E.
int decimal_exponent(Real v) {
  char printed[64];
  std::snprintf(printed, sizeof printed, "%.17Le", std::fabs(v));
  return std::atoi(printed + 20) + 1;
}

TEST(FormatNumberRandom, FixedPointAgreesWithPrintf) {
  Values values(777);
  int checked = 0;
  for (int i = 0; i < 20000; ++i) {
    int fraction = static_cast<int>(values.next() % 9);
    Real v = values.between(-40, 50);
    if (near_image_tie(v, decimal_exponent(v) + fraction)) continue;
    std::string mask = fraction ? "0." + std::string(static_cast<std::size_t>(fraction), '0') : "0";
    char expected[128];
    std::snprintf(expected, sizeof expected, "%.*Lf", fraction, v);
    std::string want = expected;
    if (want == "-0") want = "0";  // a lone zero digit carries no sign
    ASSERT_EQ(format_number(v, mask), want) << static_cast<double>(v) << " " << mask;
    ++checked;
  }
  EXPECT_GT(checked, 15000);
}

std::string grouped(const std::string& plain) {
  std::size_t start = plain[0] == '-' ? 1 : 0;
  std::size_t point = plain.find('.');
  std::string out = plain.substr(point);
  int count = 0;
  for (std::size_t i = point; i-- > start;) {
    if (count > 0 && count % 3 == 0) out.insert(out.begin(), ',');
    out.insert(out.begin(), plain[i]);
    ++count;
  }
  return plain.substr(0, start) + out;
}

TEST(FormatNumberRandom, GroupingAgreesWithPrintf) {
  Values values(31337);
  int checked = 0;
  for (int i = 0; i < 20000; ++i) {
    Real v = values.between(-8, 50);
    if (near_image_tie(v, decimal_exponent(v) + 2)) continue;
    char plain[128];
    std::snprintf(plain, sizeof plain, "%.2Lf", v);
    ASSERT_EQ(format_number(v, "#,##0.00"), grouped(plain)) << plain;
    ++checked;
  }
  EXPECT_GT(checked, 15000);
}

// printf's "d.ddde+XX" as the mask language writes it: "d.dddE+X".
std::string exponent_form(const char* printed, bool plus_sign) {
  std::string s = printed;
  std::size_t e = s.find('e');
  int exponent = std::atoi(s.c_str() + e + 1);
  std::string sign = exponent < 0 ? "-" : plus_sign ? "+" : "";
  return s.substr(0, e) + "E" + sign + std::to_string(std::abs(exponent));
}

TEST(FormatNumberRandom, ExponentFormAgreesWithPrintf) {
  Values values(4242);
  for (int i = 0; i < 20000; ++i) {
    Real v = values.between(-16445, 16383);
    char printed[128];
    std::snprintf(printed, sizeof printed, "%.3Le", v);
    if (!near_image_tie(v, 4)) {
      ASSERT_EQ(format_number(v, "0.000E+0"), exponent_form(printed, true)) << printed;
    }
    std::snprintf(printed, sizeof printed, "%.1Le", v);
    if (!near_image_tie(v, 2)) {
      ASSERT_EQ(format_number(v, "0.0E-0"), exponent_form(printed, false)) << printed;
    }
  }
}

// The general text from printf's 15 correctly rounded digits.
std::string general_from_printf(Real v) {
  char printed[128];
  std::snprintf(printed, sizeof printed, "%.14Le", std::fabs(v));
  std::string digits = std::string(1, printed[0]) + std::string(printed + 2, 14);
  int exponent = std::atoi(printed + 17) + 1;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  int n = static_cast<int>(digits.size());
  std::string out = v < 0 ? "-" : "";
  if (exponent >= 1 && exponent <= 15) {
    if (n <= exponent) return out + digits + std::string(static_cast<std::size_t>(exponent - n), '0');
    return out + digits.substr(0, static_cast<std::size_t>(exponent)) + "." +
           digits.substr(static_cast<std::size_t>(exponent));
  }
  if (exponent <= 0 && n - exponent <= 15)
    return out + "." + std::string(static_cast<std::size_t>(-exponent), '0') + digits;
  out += digits.substr(0, 1);
  if (n > 1) out += "." + digits.substr(1);
  int shown = exponent - 1;
  return out + (shown < 0 ? "E-" : "E+") + std::to_string(std::abs(shown));
}

TEST(FormatNumberRandom, GeneralTextAgreesWithPrintf) {
  Values values(2718);
  for (int i = 0; i < 20000; ++i) {
    Real v = i % 2 ? values.between(-16445, 16383) : values.between(-60, 60);
    // Short values whose digits end early exercise the removal of zeros.
    if (i % 5 == 0) v = std::nearbyint(v * 1000) / 8;
    if (near_image_tie(v, 15)) continue;
    ASSERT_EQ(format_number(v, ""), general_from_printf(v)) << static_cast<double>(v);
  }
}

}  // namespace
