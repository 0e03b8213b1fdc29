#include "runtime/format.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "runtime/errors.hpp"

namespace {

struct FormatCase {
  const char* mask;
  Real value;
  const char* expected;
};

void expect_cases(const FormatCase* begin, const FormatCase* end) {
  for (const FormatCase* c = begin; c != end; ++c) {
    EXPECT_EQ(format_number(c->value, c->mask), c->expected)
        << "mask \"" << c->mask << "\" value " << static_cast<double>(c->value);
  }
}

// The masks of the plot program on its typical values, and the worked
// examples of the mask language.
TEST(FormatNumber, WorkedExamples) {
  const Real pi = 3.14159265358979L;
  const FormatCase cases[] = {
      {"0.0", pi, "3.1"},
      {"0.0", -pi, "-3.1"},
      {"0.0", 0, "0.0"},
      {"0.0", 0.25L, "0.2"},
      {"0.0", 0.75L, "0.8"},
      {"0.0", 12.5L, "12.5"},
      {"0.0", -1234.5678L, "-1234.6"},

      {"  0.0000", pi, "  3.1416"},
      {"  0.0000", -pi, "  -3.1416"},
      {"  0.0000", 0, "  0.0000"},
      {"  0.0000", 0.25L, "  0.2500"},
      {"  0.0000", 0.75L, "  0.7500"},
      {"  0.0000", 12.5L, "  12.5000"},
      {"  0.0000", -1234.5678L, "  -1234.5678"},

      {"   0.0000;  -0.0000", pi, "   3.1416"},
      {"   0.0000;  -0.0000", -pi, "  -3.1416"},
      {"   0.0000;  -0.0000", 0, "   0.0000"},
      {"   0.0000;  -0.0000", 0.25L, "   0.2500"},
      {"   0.0000;  -0.0000", 0.75L, "   0.7500"},
      {"   0.0000;  -0.0000", 12.5L, "   12.5000"},
      {"   0.0000;  -0.0000", -1234.5678L, "  -1234.5678"},

      {"0.0000", pi, "3.1416"},
      {"0.0000", -pi, "-3.1416"},
      {"0.0000", 0, "0.0000"},
      {"0.0000", 0.25L, "0.2500"},
      {"0.0000", 0.75L, "0.7500"},
      {"0.0000", 12.5L, "12.5000"},
      {"0.0000", -1234.5678L, "-1234.5678"},

      {"  0.0000; -0.0000", pi, "  3.1416"},
      {"  0.0000; -0.0000", -pi, " -3.1416"},
      {"  0.0000; -0.0000", 0, "  0.0000"},
      {"  0.0000; -0.0000", 0.25L, "  0.2500"},
      {"  0.0000; -0.0000", 0.75L, "  0.7500"},
      {"  0.0000; -0.0000", 12.5L, "  12.5000"},
      {"  0.0000; -0.0000", -1234.5678L, " -1234.5678"},

      {"0.0", 0.05L, "0.0"},
      {"0.0", 0.15L, "0.2"},
      {"0", 2.5L, "2"},
      {"0", 3.5L, "4"},
      {"0", -0.25L, "0"},
      {"0", 12.5L, "12"},
      {"0.0", -0.00001L, "-0.0"},
      {"0.0", 9.99999L, "10.0"},
      {"###.##", 1.5L, "1.5"},
      {"###.##", 1, "1."},
      {"##0.00", -1.5L, "-1.50"},
      {"#,##0.00", 1234567.891L, "1,234,567.89"},
      {"0.0%", 0.256L, "25.6%"},
      {"000.00", -1.5L, "-001.50"},
      {"0,000", 5, "0,005"},
      {"#", 0, "0"},
      {"0.0;(0.0)", -2, "(2.0)"},
      {"*x####", 12, "xxxx12"},
      {"0E0", 5, "0E5"},
      {"0.00E+00", 12345, "1.23E+4"},
      {"0.00E+00", 0, "0.00E+0"},
      {"0.00E-00", 12345, "1.23E04"},
      {"0.00E-00", 0.00012345L, "1.23E-4"},
      {"0.00E+000", 12345, "1.23E0+4"},
  };
  expect_cases(std::begin(cases), std::end(cases));
}

TEST(FormatNumber, EdgeCases) {
  const FormatCase cases[] = {
      // Zero takes section 1 when there is no third section.
      {"   0.0000;  -0.0000", 0, "   0.0000"},
      {"   0.0000;  -0.0000", -0.0L, "   0.0000"},
      {"0.0;-0.0;\"zero\"", 0, "zero"},
      {"0.0;-0.0;\"zero\"", -0.0L, "zero"},
      {"0.0;-0.0;", 0, "0.0"},
      // An empty section 2 at the end: section 1 with the sign.
      {"0;", -5, "-5"},
      {"0.00;", -0.5L, "-0.50"},
      {"0;", 5, "5"},
      // More integer digits than positions: none is lost.
      {"0.0", 1234.56L, "1234.6"},
      {"#", 98765, "98765"},
      {"#,#", 98765, "98,765"},
      // Ties on the 18-digit image go to the even digit.
      {"0.0", 0.05L, "0.0"},
      {"0.0", 0.15L, "0.2"},
      {"0.0", 0.25L, "0.2"},
      {"0.0", 0.35L, "0.4"},
      {"0.0", 0.75L, "0.8"},
      {"0", 0.5L, "0"},
      {"0", 1.5L, "2"},
      {"0", 2.5L, "2"},
      {"0", 3.5L, "4"},
      {"0.00", 0.125L, "0.12"},
      {"0.00", 0.375L, "0.38"},
      // A digit beyond the 5 breaks the tie.
      {"0", 2.5000001L, "3"},
      {"0.0", 0.2500001L, "0.3"},
      // Characters outside the language are dropped; escaped and quoted
      // characters are literal.
      {"x1 0", 5, " 5"},
      {"\\x0", 5, "x5"},
      {"\"x\"0", 5, "x5"},
      {"0\" kg\"", 5, "5 kg"},
      {"0\" kg", 5, "5 kg"},
      {"0\\", 5, "5"},
      {"$#,##0.00", 1234.5L, "$1,234.50"},
      {"(0)", 7, "(7)"},
      {"+0", 7, "+7"},
      {"abcdfghijklmnopqrstuvwxyz0", 3, "3"},
      {"\"0;1\"0", 5, "0;15"},
      {"\\;0;(0)", -5, "(5)"},
      // No integer positions: the integer digits are not shown.
      {".00", 12.5L, ".50"},
      {".00", 0.125L, ".12"},
      {".00", -12.5L, "-.50"},
      // Negative values that round to zero.
      {"0.0", -0.01L, "-0.0"},
      {"0", -0.4L, "0"},
      {"0", -0.5L, "0"},
      {"#", -0.3L, "0"},
      {"0.00", -0.004L, "-0.00"},
      // Carries that add a digit.
      {"0.0", 9.99999L, "10.0"},
      {"0", 9.5L, "10"},
      {"#,##0", 999999.5L, "1,000,000"},
      {"0.00", 0.996L, "1.00"},
      {".0", 0.96L, ".0"},
      {"0.0", -99.96L, "-100.0"},
      // Exponents, also with a carry into the exponent.
      {"0.00E+00", 9.999L, "1.00E+1"},
      {"0.00E+00", 0.9999L, "1.00E+0"},
      {"0.00E+00", 0.00099999L, "1.00E-3"},
      {"0.00E-00", 9.999e-10L, "1.00E-9"},
      {"0.00E+00", 99999, "1.00E+5"},
      {"0.00E-00", 99999, "1.00E05"},
      {"0.00E+00", -12345, "-1.23E+4"},
      {"0.00E+00", 1.235e10L, "1.24E+10"},
      {"0.00E+00", 1.225e10L, "1.22E+10"},
      {"00.0E+0", 12345, "12.3E+3"},
      {"00.0E+0", 0, "00.0E-1"},
      {"#.##E+0", 1.5L, "1.5E+0"},
      {"0e-0", 0.05L, "5e-2"},
      {"0.0E+0", 1e100L, "1.0E+100"},
      {"0.0E-0", 1e-100L, "1.0E-100"},
      {".00E+00", 0.999L, ".10E+1"},
      {"0E+", 5, "5E"},
      // Percent scales by 100.
      {"0%", 0.5L, "50%"},
      {"0.00%", -0.00125L, "-0.12%"},
      {"0%", 0, "0%"},
      {"%0", 0.6L, "1"},
      // Grouping.
      {"#,##0", 1000, "1,000"},
      {"#,##0", 999, "999"},
      {"0,000,000", 1234, "0,001,234"},
      {"#,##0.00", -1234567.891L, "-1,234,567.89"},
      {",0", 1234, ",1234"},
      // Fill characters.
      {"*x####", -12, "xxx-12"},
      {"*.##0.00", 3.5L, "....3.50"},
      {"*0##", 7, "0007"},
      {"0*", 7, "7*"},
      {"**#", 7, "**7"},
      // Trailing zeros of the fraction on optional positions.
      {"0.0##", 1.5L, "1.5"},
      {"0.0##", 1.25L, "1.25"},
      {"0.##", 1, "1."},
      {"#.##", 0, "0."},
      {"0.#0", 1, "1.0"},
      {"0.#0", 1.05L, "1.05"},
      // The minus sign sits beside the leftmost digit; literals stay put.
      {"$ #0.0", -1.5L, "$ -1.5"},
      {"# 0.0", -1.5L, " -1.5"},
      {"(0.0)", -1.5L, "(-1.5)"},
      // Sections chosen by sign.
      {"0;(0);\"nil\"", 3, "3"},
      {"0;(0);\"nil\"", -3, "(3)"},
      {"0;(0);\"nil\"", 0, "nil"},
      {"0;(0);\"nil\";ignored", 0, "nil"},
      {"0;;\"nil\"", -3, "3"},
      {";0", 2.5L, "2.5"},
      {";0", -2.5L, "2"},
      {"", -2.5L, "-2.5"},
      {"", 0, "0"},
      {";", -1.5L, "-1.5"},
      {"0;;", -7, "7"},
  };
  expect_cases(std::begin(cases), std::end(cases));
}

TEST(FormatNumber, GeneralText) {
  const FormatCase cases[] = {
      {"", 2.5L, "2.5"},
      {"", -1.0L / 3, "-.333333333333333"},
      {"", 0.001L, ".001"},
      {"", 1e14L, "100000000000000"},
      {"", 1e15L, "1E+15"},
      {"", 1234567890123456.0L, "1.23456789012346E+15"},
      {"", 1.5e-20L, "1.5E-20"},
      {"", 5.5e-15L, "5.5E-15"},
      {"", 0, "0"},
      {"", -0.0L, "0"},
      {"", 1, "1"},
      {"", 100, "100"},
      {"", 123.456L, "123.456"},
      {"", 2.0L / 3, ".666666666666667"},
      {"", 999999999999999.5L, "1E+15"},
      {"", 0.1L, ".1"},
      {"", 1e-15L, ".000000000000001"},
      {"", 1.5e-15L, "1.5E-15"},
      {"", 12345678901234.5L, "12345678901234.5"},
      {"", 1e300L, "1E+300"},
      {"", -2e-300L, "-2E-300"},
      // The 16th digit is 5 with more after it: up, whatever the 15th.
      {"", 1.00000000000002501L, "1.00000000000003"},
      // An exact tie on the image: to the even 15th digit.
      {"", 1.000000000000025L, "1.00000000000002"},
      {"", 1.000000000000035L, "1.00000000000004"},
      {"", 1.000000000000005L, "1"},
  };
  expect_cases(std::begin(cases), std::end(cases));
}

TEST(FormatNumber, InfinityAndNaN) {
  const Real inf = std::numeric_limits<Real>::infinity();
  const Real nan = std::numeric_limits<Real>::quiet_NaN();
  std::string nines_then_zeros = std::string(18, '9') + std::string(999 - 18, '0');
  EXPECT_EQ(format_number(inf, "0"), nines_then_zeros);
  EXPECT_EQ(format_number(-inf, "0.0"), "-" + nines_then_zeros + ".0");
  EXPECT_EQ(format_number(-inf, "0;(0)"), "(" + nines_then_zeros + ")");
  EXPECT_EQ(format_number(inf, "0.00E+00"), "1.00E+999");
  EXPECT_EQ(format_number(-inf, "0.00E-00"), "-1.00E999");
  EXPECT_EQ(format_number(inf, ""), "1E+999");
  EXPECT_EQ(format_number(nan, "0.0000"), "NaN");
  EXPECT_EQ(format_number(-nan, "  0.0000; -0.0000"), "NaN");
  EXPECT_EQ(format_number(nan, ""), "NaN");
}

TEST(FormatNumber, DenormalsAndExtremes) {
  const Real max = std::numeric_limits<Real>::max();
  const Real min_normal = std::numeric_limits<Real>::min();
  const Real min_denormal = std::numeric_limits<Real>::denorm_min();
  EXPECT_EQ(format_number(max, "0.00000E+0"), "1.18973E+4932");
  EXPECT_EQ(format_number(-max, "0.00E+0"), "-1.19E+4932");
  EXPECT_EQ(format_number(min_normal, "0.00000E+0"), "3.36210E-4932");
  EXPECT_EQ(format_number(min_denormal, "0.00000E+0"), "3.64520E-4951");
  EXPECT_EQ(format_number(-min_denormal, "0.00E-0"), "-3.65E-4951");
  EXPECT_EQ(format_number(min_denormal * 3, "0.00E-0"), "1.09E-4950");
  EXPECT_EQ(format_number(min_denormal, ""), "3.64519953188247E-4951");
  EXPECT_EQ(format_number(max, ""), "1.18973149535723E+4932");
  EXPECT_EQ(format_number(min_denormal, "0.0"), "0.0");
  EXPECT_EQ(format_number(-min_denormal, "0.0"), "-0.0");
  // Binades where the power-of-ten estimate overshoots still show a leading
  // significant digit.
  EXPECT_EQ(format_number(std::ldexp(1.0L, -681), "0.000E+0"), "9.967E-206");
  EXPECT_EQ(format_number(std::ldexp(1.0L, -681), ""), "9.96719495109757E-206");
  EXPECT_EQ(format_number(std::ldexp(1.0L, -16000), "0.00E-0"), "3.31E-4817");
  EXPECT_EQ(format_number(max, "0").size(), 4933u);
  EXPECT_EQ(format_number(max, "0").substr(0, 17), "11897314953572317");
}

TEST(FormatNumber, LongMasksAndResults) {
  // No fixed scratch area: any length works.
  std::string mask = "0." + std::string(6000, '0');
  std::string result = format_number(0.5L, mask);
  ASSERT_EQ(result.size(), 6002u);
  EXPECT_EQ(result.substr(0, 4), "0.50");
  EXPECT_EQ(result.find_first_not_of('0', 3), std::string::npos);

  std::string literal(7000, '-');
  EXPECT_EQ(format_number(3, literal + "0"), literal + "3");

  std::string grouped = format_number(std::numeric_limits<Real>::max(), "#,##0");
  EXPECT_EQ(grouped.size(), 4933u + 1644u);
  EXPECT_EQ(grouped.substr(0, 8), "1,189,73");
}

TEST(FormatNumber, DoesNotRaiseErrors) {
  clear_error();
  format_number(1, "\"unclosed");
  format_number(std::numeric_limits<Real>::infinity(), "#,##0.00%E+00");
  EXPECT_EQ(last_error(), 0);
}

}  // namespace
