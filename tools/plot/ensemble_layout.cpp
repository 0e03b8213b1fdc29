#include "tools/plot/ensemble_layout.hpp"

#include <algorithm>
#include <cmath>

#include "tools/plot/layout.hpp"

Rgb ensemble_colour() { return series_colour(0); }
Rgb member0_colour() { return series_colour(1); }

Rgb band_colour(MemberEnd end) {
  switch (end) {
    case MemberEnd::Chaotic: return series_colour(4);   // orange
    case MemberEnd::Settled: return series_colour(2);   // bluish green
    case MemberEnd::Captured: return series_colour(3);  // reddish purple
    case MemberEnd::Stalled: return {0.78, 0.78, 0.78};
  }
  return {0.5, 0.5, 0.5};
}

Rgb interval_colour(MemberEnd end) {
  const Rgb c = band_colour(end);
  return {c.r * 0.45, c.g * 0.45, c.b * 0.45};
}

const char* member_end_name(MemberEnd end) {
  switch (end) {
    case MemberEnd::Chaotic: return "chaotic";
    case MemberEnd::Settled: return "settled";
    case MemberEnd::Captured: return "captured";
    case MemberEnd::Stalled: return "stalled";
  }
  return "";
}

std::vector<EnsembleEntry> panel_entries(Panel panel, const EnsembleSeries& series, AxisRange damping) {
  bool ensemble = false, hollow = false, bar = false, member0 = false, shares = false, stalled = false,
       intervals = false, rate = false, bound = false;
  for (const EnsemblePoint& p : series.points) {
    if (!std::isfinite(p.damping) || !in_damping(p.damping, damping)) continue;
    if (is_drawable(p.ensemble)) {
      ensemble = true;
      (has_bar(p.ensemble) ? bar : hollow) = true;
    }
    member0 = member0 || is_drawable(p.member0);
    if (shares_drawable(p)) {
      shares = true;
      stalled = stalled || p.shares[static_cast<std::size_t>(MemberEnd::Stalled)].value > 0;
      for (const EndShare& s : p.shares) intervals = intervals || (s.low && s.high);
    }
    rate = rate || rate_mark(p) == RateMark::Rate;
    bound = bound || rate_mark(p) == RateMark::Bound;
  }
  std::vector<EnsembleEntry> entries;
  switch (panel) {
    case Panel::Exponent:
      if (ensemble) entries.push_back({EnsembleEntry::Ensemble, {}, "ensemble exponent"});
      if (bar) entries.push_back({EnsembleEntry::Bar, {}, "\u00b1 1 standard error"});
      if (hollow) entries.push_back({EnsembleEntry::Hollow, {}, "no standard error"});
      if (member0) entries.push_back({EnsembleEntry::Member0, {}, "member 0 (continued)"});
      break;
    case Panel::Shares:
      if (shares)
        for (MemberEnd e : {MemberEnd::Chaotic, MemberEnd::Settled, MemberEnd::Captured})
          entries.push_back({EnsembleEntry::Band, e, member_end_name(e)});
      if (stalled) entries.push_back({EnsembleEntry::Band, MemberEnd::Stalled, "stalled"});
      if (intervals) entries.push_back({EnsembleEntry::Interval, {}, "95 % interval"});
      break;
    case Panel::Escape:
      if (rate) entries.push_back({EnsembleEntry::Rate, {}, "escape rate"});
      if (rate) entries.push_back({EnsembleEntry::Interval, {}, "95 % interval"});
      if (bound) entries.push_back({EnsembleEntry::Bound, {}, "upper bound: no escape"});
      break;
  }
  return entries;
}

namespace {

// The rates panel (c) spans: each rate and its interval, each bound with
// room below it for its arrow.
std::vector<double> drawn_rates(const EnsembleSeries& series, AxisRange damping) {
  std::vector<double> rates;
  for (const EnsemblePoint& p : series.points) {
    if (!in_damping(p.damping, damping)) continue;
    switch (rate_mark(p)) {
      case RateMark::Rate:
        rates.push_back(*p.rate);
        for (const std::optional<double>& end : {p.rate_low, p.rate_high})
          if (end && *end <= AxisLimit) rates.push_back(*end);
        break;
      case RateMark::Bound:
        rates.push_back(*p.rate_high);
        rates.push_back(*p.rate_high / 3);
        break;
      case RateMark::None: break;
    }
  }
  return rates;
}

// The stacked bars' width: most of the narrowest gap between columns, so
// that neighbours do not touch.
double bar_width(const EnsembleSeries& series, const PlotFrame& f) {
  std::vector<double> at;
  for (const EnsemblePoint& p : series.points)
    if (shares_drawable(p) && in_damping(p.damping, f.x)) at.push_back(f.x_at(p.damping));
  std::sort(at.begin(), at.end());
  const double widest = 0.05 * (f.right - f.left);
  double gap = INFINITY;
  for (std::size_t i = 1; i < at.size(); ++i)
    if (at[i] > at[i - 1]) gap = std::min(gap, at[i] - at[i - 1]);
  return std::max(1.0, std::min(widest, 0.8 * gap));
}

}  // namespace

EnsembleLayout compute_ensemble_layout(cairo_t* cr, const PlotOptions& options, const EnsembleSeries& series) {
  EnsembleLayout l;
  l.scale = std::clamp(std::min(options.width / 960.0, options.height / 900.0), 0.7, 4.0);
  const double s = l.scale;
  l.font = 13 * s;
  l.margin = 12 * s;
  const double tick = 5 * s;
  const AxisRange x{options.damping_low, options.damping_high};

  PlotSeries ensemble, member0;
  for (const EnsemblePoint& p : series.points) {
    ensemble.points.push_back(p.ensemble);
    member0.points.push_back(p.member0);
  }
  const AxisRange exponents = exponent_range({ensemble, member0}, x);
  const AxisRange decades = log_range(drawn_rates(series, x));

  const double top = l.margin + (options.title.empty() ? 6 * s : l.font * 1.25 * 1.6);
  const double bottom = options.height - (l.margin + l.font * 2.6 + 6 * s + tick);
  // Room between the panels for the tick labels at their ends.
  const double gap = l.font * 2;
  const double height = (bottom - top - 2 * gap) / PanelCount;
  const int wanted = std::max(2, static_cast<int>(height / (45 * s)));
  l.exponent_step = tick_step(exponents, wanted);
  l.share_step = tick_step({0, 1}, std::min(5, wanted));
  const int labels = std::max(2, static_cast<int>(height / (24 * s)));
  l.decade_step = std::max(1, static_cast<int>(std::ceil((decades.high - decades.low) / labels)));

  set_font(cr, l.font);
  double label_width = 0;
  for (double v : ticks(exponents, l.exponent_step))
    label_width = std::max(label_width, text_width(cr, tick_label(v, l.exponent_step)));
  for (double v : ticks({0, 1}, l.share_step))
    label_width = std::max(label_width, text_width(cr, tick_label(v, l.share_step)));
  for (int k = static_cast<int>(decades.low); k <= static_cast<int>(decades.high); ++k)
    label_width = std::max(label_width, text_width(cr, decade_label(k)));
  const double name_width = l.font * 1.3;
  const double left = l.margin + name_width + 8 * s + label_width + 6 * s + tick;

  const double widest = 0.28 * options.width;
  for (Panel panel : {Panel::Exponent, Panel::Shares, Panel::Escape})
    for (const EnsembleEntry& e : panel_entries(panel, series, x))
      l.legend_text_width = std::max(l.legend_text_width, std::min(widest, text_width(cr, e.text)));
  l.legend_left = options.width - l.margin - (22 * s + l.legend_text_width + 10 * s);
  const double right = l.legend_left - 16 * s;

  const AxisRange ys[PanelCount] = {exponents, {0, 1}, decades};
  for (int i = 0; i < PanelCount; ++i) {
    PlotFrame& f = l.frames[static_cast<std::size_t>(i)];
    f.left = left;
    f.right = right;
    f.top = top + i * (height + gap);
    f.bottom = f.top + height;
    f.x = x;
    f.y = ys[i];
  }
  l.x_step = tick_step(x, std::max(2, static_cast<int>((right - left) / (70 * s))));
  l.bar_width = bar_width(series, l.frames[1]);
  return l;
}
