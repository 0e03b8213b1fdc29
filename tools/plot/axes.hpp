// The plot's axes: the exponent range chosen from the data, the ticks, and
// the mapping from damping and exponent to picture coordinates.
#pragma once

#include <string>
#include <vector>

#include "tools/plot/series.hpp"

struct AxisRange {
  double low = 0;
  double high = 1;
};

// The exponent range: every drawn exponent in the damping range and zero;
// the error bars' ends where they reach at most the spread of those again
// beyond it on either side (a single huge bar must not flatten every point);
// then widened to whole steps of the ticks. Non-finite values are ignored.
AxisRange exponent_range(const std::vector<PlotSeries>& series, AxisRange damping);

// A tick step of 1, 2 or 5 times a power of ten giving about `wanted` steps
// across `range`.
double tick_step(AxisRange range, int wanted);
// The multiples of `step` within `range` (ends included, to rounding).
std::vector<double> ticks(AxisRange range, double step);
// A tick's number with as many decimals as the step needs; a minus sign for
// negative numbers, never "-0".
std::string tick_label(double value, double step);

// A logarithmic axis in decades (log10 units, whole numbers): from the
// decade at or below the smallest of `values` to the one at or above the
// largest, at least one decade; values that are not positive and finite are
// ignored; -3 to 0 without any.
AxisRange log_range(const std::vector<double>& values);
// A decade's label: 10 with its power in superscript digits (10⁻³).
std::string decade_label(int power);

// Where the axes sit in the picture (coordinates in pixels for PNG, points
// for SVG and PDF; y grows downwards): damping x.low at `left`, x.high at
// `right`; exponent y.high at `top`, y.low at `bottom`.
struct PlotFrame {
  double left = 0, top = 0, right = 0, bottom = 0;
  AxisRange x, y;
  double x_at(double damping) const { return left + (damping - x.low) / (x.high - x.low) * (right - left); }
  double y_at(double exponent) const { return bottom - (exponent - y.low) / (y.high - y.low) * (bottom - top); }
};
