#include "tools/plot/axes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(PlotTicks, StepsAreOneTwoOrFiveTimesAPowerOfTen) {
  struct Case {
    AxisRange range;
    int wanted;
    double step;
  };
  const Case cases[] = {
      {{0, 1}, 10, 0.1}, {{0, 1}, 6, 0.2}, {{0, 1}, 2, 0.5},  {{-0.01, 0.03}, 6, 0.01},
      {{0.83, 0.87}, 8, 0.005}, {{-2, 2}, 6, 1}, {{0, 300}, 6, 50}, {{0, 0}, 6, 1},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(tick_step(c.range, c.wanted), c.step) << c.range.low << ":" << c.range.high << " " << c.wanted;
}

TEST(PlotTicks, TicksCoverTheRangeWithCleanZero) {
  const std::vector<double> t = ticks({-0.3, 0.3}, 0.1);
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[3], 0.0);
  EXPECT_FALSE(std::signbit(t[3]));
  EXPECT_NEAR(t.front(), -0.3, 1e-12);
  EXPECT_NEAR(t.back(), 0.3, 1e-12);
  EXPECT_EQ(ticks({0.83, 0.87}, 0.01).size(), 5u);  // 0.83 to 0.87 despite rounding
}

TEST(PlotTicks, LabelsHaveTheDecimalsOfTheStep) {
  struct Case {
    double value, step;
    const char* label;
  };
  const Case cases[] = {
      {0, 0.1, "0.0"},       {0.5, 0.1, "0.5"},         {-0.2, 0.1, "\u22120.2"}, {-1e-17, 0.1, "0.0"},
      {2, 1, "2"},           {0.0025, 0.0005, "0.0025"}, {150, 50, "150"},        {-0.01, 0.01, "\u22120.01"},
  };
  for (const Case& c : cases) EXPECT_EQ(tick_label(c.value, c.step), c.label) << c.value << " step " << c.step;
}

PlotSeries series_of(std::vector<PlotPoint> points) { return PlotSeries{"t.csv", std::move(points)}; }

PlotPoint point(double damping, double exponent, std::optional<double> error = std::nullopt,
                PointEnd end = PointEnd::Converged) {
  return PlotPoint{damping, exponent, error, end, std::nullopt};
}

TEST(PlotRange, CoversExponentsZeroAndBarsRobustly) {
  struct Case {
    const char* what;
    std::vector<PlotPoint> points;
    double low_at_most, high_at_least;  // must be inside the range
    double span_at_most;                // and the range not much wider
  };
  const Case cases[] = {
      {"zero is included", {point(0.5, 0.6), point(0.6, 0.8)}, 0, 0.8, 1.2},
      {"negative exponents", {point(0.5, -1.5), point(0.6, -0.5)}, -1.5, 0, 2.5},
      {"bars widen it", {point(0.5, 1, 0.3)}, 0, 1.3, 2},
      {"non-finite values are ignored",
       {point(0.5, 1), point(0.6, NaN), point(0.7, Inf), point(NaN, 50), point(0.8, 0.5, Inf), point(0.9, 0.5, NaN)},
       0, 1, 1.5},
      {"a huge bar stops at the spread again", {point(0.5, 1, 1e9), point(0.6, 0.5, 0.1)}, -1, 2, 5},
      {"a bar of a column without measurement does not count",
       {point(0.5, 1), point(0.6, 1, 5, PointEnd::NoMeasurement)}, 0, 1, 1.5},
      {"columns outside the damping range do not count", {point(0.5, 1), point(1.5, 40)}, 0, 1, 1.5},
      {"all exponents zero: the bars give the scale", {point(0.5, 0, 0.001)}, -0.001, 0.001, 0.005},
      {"nothing drawable", {point(0.5, NaN)}, -1, 1, 2},
  };
  for (const Case& c : cases) {
    const AxisRange r = exponent_range({series_of(c.points)}, {0, 1});
    EXPECT_LE(r.low, c.low_at_most) << c.what;
    EXPECT_GE(r.high, c.high_at_least) << c.what;
    EXPECT_LE(r.high - r.low, c.span_at_most) << c.what;
    EXPECT_TRUE(std::isfinite(r.low) && std::isfinite(r.high)) << c.what;
  }
}

TEST(PlotFrameMapping, EndsOfTheRangesLandOnTheFrame) {
  PlotFrame f;
  f.left = 100;
  f.right = 700;
  f.top = 40;
  f.bottom = 540;
  f.x = {0.2, 0.8};
  f.y = {-1, 4};
  EXPECT_DOUBLE_EQ(f.x_at(0.2), 100);
  EXPECT_DOUBLE_EQ(f.x_at(0.8), 700);
  EXPECT_DOUBLE_EQ(f.x_at(0.5), 400);
  EXPECT_DOUBLE_EQ(f.y_at(4), 40);
  EXPECT_DOUBLE_EQ(f.y_at(-1), 540);
  EXPECT_DOUBLE_EQ(f.y_at(0), 440);
}

TEST(PlotLogAxis, DecadesCoverThePositiveValuesAndLabelsHaveSuperscripts) {
  struct Case {
    std::vector<double> values;
    double low, high;
  };
  const Case cases[] = {
      {{0.002, 0.05}, -3, -1},
      {{0.01}, -3, -1},  // a value on a decade stays inside the frame
      {{5e-7, 2}, -7, 1},
      {{3e-5, 3.5e-5}, -5, -4},
      {{}, -3, 0},
      {{0, -1, NaN, Inf, 0.2}, -1, 0},
      {{0, -1, NaN, Inf}, -3, 0},
  };
  for (const Case& c : cases) {
    const AxisRange r = log_range(c.values);
    EXPECT_EQ(r.low, c.low) << c.values.size();
    EXPECT_EQ(r.high, c.high) << c.values.size();
  }
  EXPECT_EQ(decade_label(-3), "10\u207b\u00b3");
  EXPECT_EQ(decade_label(0), "10\u2070");
  EXPECT_EQ(decade_label(1), "10\u00b9");
  EXPECT_EQ(decade_label(12), "10\u00b9\u00b2");
  EXPECT_EQ(decade_label(-10), "10\u207b\u00b9\u2070");
}

}  // namespace
