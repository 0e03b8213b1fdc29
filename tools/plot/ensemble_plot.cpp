#include "tools/plot/ensemble_plot.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "tools/plot/ensemble_layout.hpp"
#include "tools/plot/layout.hpp"
#include "tools/plot/surface.hpp"
#include "tools/plot/symbols.hpp"

namespace {

double line_of(const EnsembleLayout& l) { return l.scale; }
double radius_of(const EnsembleLayout& l) { return 3.2 * l.scale; }
const PlotFrame& frame_of(const EnsembleLayout& l, Panel panel) { return l.frames[static_cast<std::size_t>(panel)]; }

// On a raster a thin vertical line on a pixel's centre stays one crisp
// pixel wide.
double crisp(double x, bool raster) { return raster ? std::floor(x) + 0.5 : x; }

// Clips to the frame with room for a marker on its edge.
void clip_to(cairo_t* cr, const PlotFrame& f, double room) {
  cairo_save(cr);
  cairo_rectangle(cr, f.left - room, f.top - room, f.right - f.left + 2 * room, f.bottom - f.top + 2 * room);
  cairo_clip(cr);
}

// A value of the frame's y, cut a little beyond the frame first: mapped to
// the picture, a huge value lies beyond what Cairo can draw.
double cut(double value, const PlotFrame& f) {
  const double margin = (f.y.high - f.y.low) * 0.05;
  return std::clamp(value, f.y.low - margin, f.y.high + margin);
}

void draw_exponents(cairo_t* cr, const EnsembleSeries& series, const EnsembleLayout& l, bool raster) {
  const PlotFrame& f = frame_of(l, Panel::Exponent);
  const double s = l.scale, line = line_of(l), radius = radius_of(l);
  const double dash[] = {4 * s, 3 * s};
  cairo_set_dash(cr, dash, 2, 0);
  cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
  cairo_set_line_width(cr, line);
  cairo_move_to(cr, f.left, f.y_at(0));
  cairo_line_to(cr, f.right, f.y_at(0));
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);

  clip_to(cr, f, radius + 2 * line);
  std::vector<const EnsemblePoint*> shown;
  for (const EnsemblePoint& p : series.points)
    if (std::isfinite(p.damping) && in_damping(p.damping, f.x)) shown.push_back(&p);
  std::sort(shown.begin(), shown.end(), [](const auto* a, const auto* b) { return a->damping < b->damping; });
  const Rgb blue = ensemble_colour();
  for (const EnsemblePoint* p : shown)
    if (is_drawable(p->ensemble) && has_bar(p->ensemble)) {
      const double e = p->ensemble.exponent, se = *p->ensemble.standard_error;
      draw_bar(cr, crisp(f.x_at(p->damping), raster), f.y_at(cut(e - se, f)), f.y_at(cut(e + se, f)), 2.5 * s, blue,
               line);
    }
  // The ensemble's values joined from column to column; a column without
  // one breaks the line rather than bridging it.
  bool joined = false;
  for (const EnsemblePoint* p : shown) {
    if (!is_drawable(p->ensemble)) {
      joined = false;
      continue;
    }
    (joined ? cairo_line_to : cairo_move_to)(cr, f.x_at(p->damping), f.y_at(p->ensemble.exponent));
    joined = true;
  }
  set_colour(cr, blue);
  cairo_set_line_width(cr, line);
  cairo_stroke(cr);
  for (const EnsemblePoint* p : shown)
    if (is_drawable(p->ensemble))
      draw_marker(cr, PointEnd::Converged, f.x_at(p->damping), f.y_at(p->ensemble.exponent), radius, blue,
                  has_bar(p->ensemble), line);
  // Member 0 apart: an outline that leaves the ensemble's point under it
  // in sight, never joined.
  for (const EnsemblePoint* p : shown)
    if (is_drawable(p->member0))
      draw_outline(cr, PointEnd::Coinciding, f.x_at(p->damping), f.y_at(p->member0.exponent), radius * 1.2,
                   member0_colour(), line);
  cairo_restore(cr);
}

// Where a share's interval is drawn on its column's stack: each bar spans
// where an edge of that share's band could lie. The chaotic band's top edge
// rises from the bottom, the captured band's lower edge hangs from the top of
// the three bands, and the settled band's top edge rises from the chaotic
// band's.
double interval_foot(const EnsemblePoint& p, MemberEnd end) {
  const double chaotic = p.shares[0].value, settled = p.shares[1].value, captured = p.shares[2].value;
  switch (end) {
    case MemberEnd::Chaotic: return 0;
    case MemberEnd::Settled: return chaotic;
    case MemberEnd::Captured: return chaotic + settled + captured;
    case MemberEnd::Stalled: return 0;
  }
  return 0;
}

// Each column's stack, chaotic at the bottom, then each share's interval in
// a darker shade of its band.
void draw_shares(cairo_t* cr, const EnsembleSeries& series, const EnsembleLayout& l, bool raster) {
  const PlotFrame& f = frame_of(l, Panel::Shares);
  const double w = l.bar_width, line = line_of(l);
  const double offset = w >= 8 * l.scale ? w / 4 : 0;
  // Where the columns stand a pixel or two apart (a whole sweep), the
  // intervals thin with them, without caps, so that the bands stay in sight.
  const bool narrow = w < 6 * l.scale;
  const double cap = narrow ? 0 : std::min(2.5 * l.scale, std::max(w / 6, 1.0));
  const double interval_line = narrow ? std::min(line, std::max(0.3 * w, 0.3)) : line;
  clip_to(cr, f, 0);
  for (const EnsemblePoint& p : series.points) {
    if (!shares_drawable(p) || !in_damping(p.damping, f.x)) continue;
    const double x = f.x_at(p.damping);
    double base = 0;
    for (int e = 0; e < MemberEndCount; ++e) {
      const double v = p.shares[static_cast<std::size_t>(e)].value;
      const double top = std::min(1.0, base + v);
      if (v > 0) {
        cairo_rectangle(cr, x - w / 2, f.y_at(top), w, f.y_at(base) - f.y_at(top));
        set_colour(cr, band_colour(static_cast<MemberEnd>(e)));
        cairo_fill(cr);
      }
      base += v;
    }
  }
  for (const EnsemblePoint& p : series.points) {
    if (!shares_drawable(p) || !in_damping(p.damping, f.x)) continue;
    const double x = f.x_at(p.damping);
    for (MemberEnd e : {MemberEnd::Chaotic, MemberEnd::Settled, MemberEnd::Captured}) {
      const EndShare& share = p.shares[static_cast<std::size_t>(e)];
      if (!share.low || !share.high || !std::isfinite(*share.low) || !std::isfinite(*share.high)) continue;
      const double foot = interval_foot(p, e);
      const double sign = e == MemberEnd::Captured ? -1 : 1;
      const double at = crisp(x + (static_cast<int>(e) - 1) * offset, raster);
      draw_bar(cr, at, f.y_at(cut(foot + sign * *share.low, f)), f.y_at(cut(foot + sign * *share.high, f)), cap,
               interval_colour(e), interval_line);
    }
  }
  cairo_restore(cr);
}

// The escape rate on its logarithmic axis: a point with its interval, or
// where nothing escaped the upper bound alone, as an arrow down from it.
void draw_escapes(cairo_t* cr, const EnsembleSeries& series, const EnsembleLayout& l, bool raster) {
  const PlotFrame& f = frame_of(l, Panel::Escape);
  const double s = l.scale, line = line_of(l), radius = radius_of(l);
  const Rgb blue = ensemble_colour();
  clip_to(cr, f, radius + 2 * line);
  // An interval end that the axis cannot show (0, infinite) runs to the frame.
  const auto decade = [&](const std::optional<double>& v, double beyond) {
    return v && *v > 0 && std::isfinite(*v) ? cut(std::log10(*v), f) : beyond;
  };
  const double below = f.y.low - (f.y.high - f.y.low) * 0.05;
  const double above = f.y.high + (f.y.high - f.y.low) * 0.05;
  for (const EnsemblePoint& p : series.points) {
    if (!in_damping(p.damping, f.x)) continue;
    const double x = f.x_at(p.damping);
    switch (rate_mark(p)) {
      case RateMark::Rate:
        draw_bar(cr, crisp(x, raster), f.y_at(decade(p.rate_low, below)), f.y_at(decade(p.rate_high, above)),
                 2.5 * s, blue, line);
        draw_marker(cr, PointEnd::Converged, x, f.y_at(std::log10(*p.rate)), radius, blue, true, line);
        break;
      case RateMark::Bound:
        draw_bound(cr, crisp(x, raster), f.y_at(std::log10(*p.rate_high)), 4.5 * radius, 2.5 * s, blue, line);
        break;
      case RateMark::None: break;
    }
  }
  cairo_restore(cr);
}

// The frame, its ticks on all four sides, labels left (and below the last
// panel), and the panel's name at the left.
void draw_frame(cairo_t* cr, const EnsembleLayout& l, Panel panel) {
  const PlotFrame& f = frame_of(l, panel);
  const double s = l.scale, tick = 5 * s;
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, line_of(l));
  cairo_rectangle(cr, f.left, f.top, f.right - f.left, f.bottom - f.top);
  cairo_stroke(cr);
  set_font(cr, l.font);
  for (double v : ticks(f.x, l.x_step)) {
    const double x = f.x_at(v);
    cairo_move_to(cr, x, f.bottom);
    cairo_line_to(cr, x, f.bottom - tick);
    cairo_move_to(cr, x, f.top);
    cairo_line_to(cr, x, f.top + tick);
    cairo_stroke(cr);
    if (panel == Panel::Escape)
      show_text(cr, tick_label(v, l.x_step), x, f.bottom + tick + 4 * s + l.font * 0.95, 0.5, false);
  }
  struct Mark {
    double at;  // in the frame's y
    std::string label;  // none for a minor tick
  };
  std::vector<Mark> marks;
  if (panel == Panel::Escape) {
    const int low = static_cast<int>(f.y.low), high = static_cast<int>(f.y.high);
    for (int k = low; k <= high; ++k) {
      marks.push_back({double(k), ((k % l.decade_step) + l.decade_step) % l.decade_step == 0 ? decade_label(k) : ""});
      // 2 to 9 times each decade, where the decades are few enough to part them.
      if (high - low <= 6 && k < high)
        for (int m = 2; m <= 9; ++m) marks.push_back({k + std::log10(m), ""});
    }
  } else {
    const double step = panel == Panel::Exponent ? l.exponent_step : l.share_step;
    for (double v : ticks(f.y, step)) marks.push_back({v, tick_label(v, step)});
  }
  for (const Mark& m : marks) {
    const double y = f.y_at(m.at);
    const double length = m.label.empty() && panel == Panel::Escape ? tick / 2 : tick;
    cairo_move_to(cr, f.left, y);
    cairo_line_to(cr, f.left + length, y);
    cairo_move_to(cr, f.right, y);
    cairo_line_to(cr, f.right - length, y);
    cairo_stroke(cr);
    if (!m.label.empty()) show_text(cr, m.label, f.left - 4 * s, y, 1, true);
  }
  const double middle = (f.top + f.bottom) / 2;
  if (panel == Panel::Exponent) {
    set_font(cr, l.font * 1.4, false, true);
    show_text(cr, "\u03bb", l.margin, middle, 0, true);
  } else {
    cairo_save(cr);
    cairo_translate(cr, l.margin + l.font * 0.95, middle);
    cairo_rotate(cr, -M_PI / 2);
    show_text(cr, panel == Panel::Shares ? "share of fresh members" : "escape rate", 0, 0, 0.5, false);
    cairo_restore(cr);
  }
  if (panel == Panel::Escape) show_text(cr, "damping", (f.left + f.right) / 2, f.bottom + tick + 4 * s + l.font * 2.35, 0.5, false);
}

void draw_legend(cairo_t* cr, const EnsembleSeries& series, const EnsembleLayout& l, Panel panel) {
  const PlotFrame& f = frame_of(l, panel);
  const double s = l.scale, line = line_of(l), radius = radius_of(l);
  const Rgb grey{0.3, 0.3, 0.3};
  const double symbol_x = l.legend_left + 8 * s;
  double y = f.top + l.font * 0.8;
  set_font(cr, l.font);
  for (const EnsembleEntry& e : panel_entries(panel, series, f.x)) {
    switch (e.kind) {
      case EnsembleEntry::Ensemble:
        cairo_move_to(cr, symbol_x - 8 * s, y);
        cairo_line_to(cr, symbol_x + 8 * s, y);
        set_colour(cr, ensemble_colour());
        cairo_set_line_width(cr, line);
        cairo_stroke(cr);
        draw_marker(cr, PointEnd::Converged, symbol_x, y, radius, ensemble_colour(), true, line);
        break;
      case EnsembleEntry::Hollow:
        draw_marker(cr, PointEnd::Converged, symbol_x, y, radius, ensemble_colour(), false, line);
        break;
      case EnsembleEntry::Bar:
      case EnsembleEntry::Interval:
        draw_bar(cr, symbol_x, y + 6 * s, y - 6 * s, 2.5 * s, grey, line);
        break;
      case EnsembleEntry::Member0:
        draw_outline(cr, PointEnd::Coinciding, symbol_x, y, radius * 1.2, member0_colour(), line);
        break;
      case EnsembleEntry::Band:
        set_colour(cr, band_colour(e.band));
        cairo_rectangle(cr, symbol_x - 5 * s, y - 5 * s, 10 * s, 10 * s);
        cairo_fill(cr);
        break;
      case EnsembleEntry::Rate:
        draw_marker(cr, PointEnd::Converged, symbol_x, y, radius, ensemble_colour(), true, line);
        break;
      case EnsembleEntry::Bound:
        draw_bound(cr, symbol_x, y - 6 * s, 12 * s, 2.5 * s, ensemble_colour(), line);
        break;
    }
    cairo_set_source_rgb(cr, 0, 0, 0);
    show_text(cr, fit(cr, e.text, l.legend_text_width), l.legend_left + 22 * s, y, 0, true);
    y += l.font * 1.6;
  }
}

void draw(cairo_t* cr, const PlotOptions& options, const EnsembleSeries& series, bool raster) {
  const EnsembleLayout l = compute_ensemble_layout(cr, options, series);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  if (!options.title.empty()) {
    const PlotFrame& f = l.frames[0];
    set_font(cr, l.font * 1.25, true);
    cairo_set_source_rgb(cr, 0, 0, 0);
    show_text(cr, fit(cr, valid_utf8(options.title), options.width - 2 * l.margin), (f.left + f.right) / 2,
              l.margin + l.font * 1.25 * 0.95, 0.5, false);
  }
  draw_exponents(cr, series, l, raster);
  draw_shares(cr, series, l, raster);
  draw_escapes(cr, series, l, raster);
  for (Panel panel : {Panel::Exponent, Panel::Shares, Panel::Escape}) {
    draw_frame(cr, l, panel);
    draw_legend(cr, series, l, panel);
  }
}

}  // namespace

std::array<PlotFrame, 3> ensemble_frames(const PlotOptions& options, const EnsembleSeries& series) {
  std::array<PlotFrame, 3> frames;
  with_text_context([&](cairo_t* cr) { frames = compute_ensemble_layout(cr, options, series).frames; });
  return frames;
}

bool render_ensemble(const PlotOptions& options, const EnsembleSeries& series, std::vector<std::uint8_t>& bytes,
                     std::string& error) {
  return render_figure(
      options, [&](cairo_t* cr, bool raster) { draw(cr, options, series, raster); }, bytes, error);
}
