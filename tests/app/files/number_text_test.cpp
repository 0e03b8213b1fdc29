#include "app/files/number_text.hpp"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <string>

#include "app/model/model_test_support.hpp"

namespace {

using model_test::same;

TEST(NumberText, IntegersOfAWidthAndRange) {
  struct Row {
    std::string text;
    std::optional<long long> value;  // none: refused
  };
  const Row rows[] = {
      {"17", 17},       {"+17", 17},  {" \t17", {}},          {"-0", 0},
      {"", {}},         {" ", {}},    {"17 ", {}},            {"1e3", {}},
      {"0x11", {}},     {"+", {}},    {"2147483647", 2147483647LL}, {"2147483648", {}},
      {"-2147483648", -2147483648LL}, {"-2147483649", {}},    {"99999999999999999999", {}},
      // A field's whole length counts, a NUL inside it too.
      {std::string("5\0x", 3), {}}, {std::string("5\0", 2), {}},
  };
  for (const Row& row : rows) {
    const std::optional<std::int32_t> value = parse_integer<std::int32_t>(row.text);
    EXPECT_EQ(value, row.value) << row.text;
  }
  EXPECT_EQ(parse_integer<std::uint32_t>("4294967295"), 4294967295u);
  EXPECT_FALSE(parse_integer<std::uint32_t>("4294967296"));
  EXPECT_FALSE(parse_integer<std::uint32_t>("-1"));
  EXPECT_EQ(parse_integer<int>("799", 1, 799), 799);
  EXPECT_FALSE(parse_integer<int>("800", 1, 799));
  EXPECT_FALSE(parse_integer<int>("0", 1, 799));
}

TEST(NumberText, RealsReadBackExactlyAndTakeWhatStrtoldTakes) {
  const Real max = std::numeric_limits<Real>::max();
  const Real tiny = std::numeric_limits<Real>::denorm_min();
  for (Real value : {1.0L / 3, -0.0L, max, -max, tiny, std::numeric_limits<Real>::min(), 0.9375L}) {
    for (const char* format : {"%La", "%.21Lg"}) {
      char text[64];
      std::snprintf(text, sizeof text, format, value);
      const std::optional<Real> back = parse_real(text);
      ASSERT_TRUE(back) << text;
      EXPECT_TRUE(same(*back, value)) << text;
    }
  }
  EXPECT_TRUE(std::isnan(*parse_real("nan")));
  EXPECT_EQ(parse_real("-inf"), -std::numeric_limits<Real>::infinity());
  EXPECT_EQ(parse_real("1e99999"), std::numeric_limits<Real>::infinity());
  for (const char* refused : {"", " ", "2.5 ", " 2.5", "2.5x", "1,5"}) EXPECT_FALSE(parse_real(refused)) << refused;
  for (const std::string& refused : {std::string("0\0GARBAGE", 9), std::string("2.5\0", 4)}) {
    EXPECT_FALSE(parse_real(refused));
    EXPECT_FALSE(parse_finite_double(refused));
  }
}

TEST(NumberText, DoublesAreFiniteAndInRange) {
  EXPECT_EQ(parse_finite_double("100"), 100.0);
  EXPECT_EQ(parse_finite_double("0x10"), 16.0);
  EXPECT_EQ(parse_finite_double("-2.5"), -2.5);
  EXPECT_EQ(parse_finite_double("0x1p-1074"), std::numeric_limits<double>::denorm_min());
  for (const char* refused : {"", "5 ", "nan", "inf", "-infinity", "1e400", "1e-400", "1e-310", "5s"})
    EXPECT_FALSE(parse_finite_double(refused)) << refused;
}

}  // namespace
