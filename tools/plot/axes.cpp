#include "tools/plot/axes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

bool in_range(double value, AxisRange range) { return value >= range.low && value <= range.high; }

}  // namespace

AxisRange exponent_range(const std::vector<PlotSeries>& series, AxisRange damping) {
  double low = 0;
  double high = 0;
  for (const PlotSeries& s : series)
    for (const PlotPoint& p : s.points)
      if (is_drawable(p) && in_range(p.damping, damping)) {
        low = std::min(low, p.exponent);
        high = std::max(high, p.exponent);
      }
  const double spread = high - low;
  double bar_low = low;
  double bar_high = high;
  for (const PlotSeries& s : series)
    for (const PlotPoint& p : s.points)
      if (is_drawable(p) && has_bar(p) && in_range(p.damping, damping)) {
        bar_low = std::min(bar_low, p.exponent - *p.standard_error);
        bar_high = std::max(bar_high, p.exponent + *p.standard_error);
      }
  // With every exponent zero the bars alone give the scale.
  if (spread > 0) {
    bar_low = std::max(bar_low, low - spread);
    bar_high = std::min(bar_high, high + spread);
  }
  low = bar_low;
  high = bar_high;
  if (!(high > low)) return {-1, 1};
  // A little room so that no marker sits on the frame.
  const double pad = (high - low) * 0.04;
  AxisRange range{low - (low < 0 ? pad : 0), high + (high > 0 ? pad : 0)};
  const double step = tick_step(range, 6);
  range.low = std::floor(range.low / step) * step;
  range.high = std::ceil(range.high / step) * step;
  if (!(range.high > range.low)) range.high = range.low + step;
  return range;
}

double tick_step(AxisRange range, int wanted) {
  const double rough = (range.high - range.low) / std::max(wanted, 1);
  if (!(rough > 0) || !std::isfinite(rough)) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double factor : {1.0, 2.0, 5.0, 10.0})
    if (factor * power >= rough * 0.999) return factor * power;
  return 10 * power;
}

std::vector<double> ticks(AxisRange range, double step) {
  std::vector<double> out;
  const double slack = step * 1e-6;
  const double first = std::ceil((range.low - slack) / step);
  for (double k = first; k * step <= range.high + slack && out.size() < 1000; ++k) {
    const double value = k * step;
    out.push_back(std::abs(value) < slack ? 0.0 : value);
  }
  return out;
}

std::string tick_label(double value, double step) {
  int decimals = 0;
  while (decimals < 15 && std::abs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) >
                              1e-6 * step * std::pow(10.0, decimals))
    ++decimals;
  char buffer[64];
  // Beyond what fixed notation can show in a label, the exponent form.
  if (std::abs(step) >= 1e15)
    std::snprintf(buffer, sizeof buffer, "%.6g", std::abs(value));
  else
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, std::abs(value));
  std::string text = buffer;
  const bool zero = text.find_first_not_of("0.") == std::string::npos;
  // U+2212, the typographic minus sign.
  return value < 0 && !zero ? "\u2212" + text : text;
}

AxisRange log_range(const std::vector<double>& values) {
  double low = INFINITY;
  double high = -INFINITY;
  for (double v : values)
    if (v > 0 && std::isfinite(v)) {
      low = std::min(low, std::log10(v));
      high = std::max(high, std::log10(v));
    }
  if (!(low <= high)) return {-3, 0};
  // A value within a hair of a decade stays inside, not on the frame.
  AxisRange range{std::floor(low - 1e-9), std::ceil(high + 1e-9)};
  if (!(range.high > range.low)) range.high = range.low + 1;
  return range;
}

std::string decade_label(int power) {
  static const char* const digits[] = {"\u2070", "\u00b9", "\u00b2", "\u00b3", "\u2074",
                                       "\u2075", "\u2076", "\u2077", "\u2078", "\u2079"};
  std::string text = "10";
  if (power < 0) text += "\u207b";
  const std::string number = std::to_string(power < 0 ? -static_cast<long>(power) : power);
  for (char c : number) text += digits[c - '0'];
  return text;
}
