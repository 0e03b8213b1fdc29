#include "tools/plot/legend.hpp"

#include <array>
#include <cmath>

#include "tools/plot/layout.hpp"
#include "tools/plot/palette.hpp"
#include "tools/plot/symbols.hpp"

namespace {

const char* const EndNames[PointEndCount] = {"converged", "time limit", "pass limit", "coinciding", "iteration ceiling",
                                             "stalled",   "settled",    "captured",   "no measurement"};

// What ended the chaos of the transient columns drawn: files written before
// the settling know only captures.
const char* transient_text(bool by_settling, bool by_capture) {
  if (!by_settling) return "transient: captures";
  return by_capture ? "transient: captures, settling" : "transient: settling";
}

}  // namespace

std::vector<LegendEntry> legend_entries(const std::vector<PlotSeries>& series, const PlotFrame& frame, bool rates) {
  std::vector<LegendEntry> entries;
  std::array<bool, PointEndCount> ends{};
  bool hollow = false;
  bool bar = false;
  bool transient = false;
  bool transient_settling = false;
  bool transient_capture = false;
  bool regular = false;
  bool captured = false;
  for (std::size_t i = 0; i < series.size(); ++i) {
    entries.push_back({LegendEntry::File, i, valid_utf8(series[i].name)});
    for (const PlotPoint& p : series[i].points) {
      if (!rates && is_captured(p) && std::isfinite(p.damping) && in_damping(p, frame)) captured = true;
      if (!is_drawable(p) || !in_damping(p, frame)) continue;
      if (p.regime == ColumnRegime::Transient) {
        transient = true;
        transient_settling = transient_settling || p.escaped_by_settling;
        transient_capture = transient_capture || p.escaped_by_capture;
      }
      if (p.regime == ColumnRegime::Regular) regular = true;
      ends[static_cast<std::size_t>(p.end)] = true;
      if (has_bar(p)) bar = true;
      else if (p.end != PointEnd::NoMeasurement) hollow = true;
    }
  }
  for (std::size_t e = 0; e < ends.size(); ++e)
    if (ends[e]) entries.push_back({LegendEntry::End, e, EndNames[e]});
  if (hollow && !rates) entries.push_back({LegendEntry::Hollow, 0, "no standard error"});
  if (bar) entries.push_back({LegendEntry::Bar, 0, "\u00b1 1 standard error"});
  if (transient && !rates)
    entries.push_back({LegendEntry::Transient, 0, transient_text(transient_settling, transient_capture)});
  if (regular && !rates) entries.push_back({LegendEntry::Regular, 0, "regular: no chaotic phase"});
  if (captured) entries.push_back({LegendEntry::Captured, 0, "captured: no exponent"});
  if (rates) entries.push_back({LegendEntry::Drag, 0, "g = 1.5 - 20 D / 3"});
  return entries;
}

// The legend: the files by colour, then the markers in a neutral grey.
void draw_legend(cairo_t* cr, const std::vector<PlotSeries>& series, const Layout& l) {
  const double s = l.scale;
  const double line = line_width(l);
  const double radius = marker_radius(l);
  set_font(cr, l.font);
  const Rgb grey{0.3, 0.3, 0.3};
  double y = l.frame.top + l.font * 0.8;
  const double symbol_x = l.legend_left + 8 * s;
  const double text_x = l.legend_left + 22 * s;
  for (const LegendEntry& e : legend_entries(series, l.frame, l.rates)) {
    switch (e.kind) {
      case LegendEntry::File:
        set_colour(cr, series_colour(e.index));
        cairo_rectangle(cr, symbol_x - 5 * s, y - 5 * s, 10 * s, 10 * s);
        cairo_fill(cr);
        break;
      case LegendEntry::End:
        draw_marker(cr, static_cast<PointEnd>(e.index), symbol_x, y, radius, grey, true, line);
        break;
      case LegendEntry::Hollow:
        draw_marker(cr, PointEnd::Converged, symbol_x, y, radius, grey, false, line);
        break;
      case LegendEntry::Bar:
        draw_bar(cr, symbol_x, y + 6 * s, y - 6 * s, 2.5 * s, grey, line);
        break;
      case LegendEntry::Transient:
        draw_ring(cr, symbol_x, y, radius * 1.9, grey, line);
        break;
      case LegendEntry::Regular:
        draw_box(cr, symbol_x, y, radius * 1.8, grey, line);
        break;
      case LegendEntry::Captured:
        draw_tick(cr, symbol_x, y + 6 * s, 12 * s, grey, line);
        break;
      case LegendEntry::Drag: {
        const double dash[] = {6 * s, 4 * s};
        cairo_set_dash(cr, dash, 2, 0);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_line_width(cr, line * 1.3);
        cairo_move_to(cr, symbol_x - 8 * s, y);
        cairo_line_to(cr, symbol_x + 8 * s, y);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        break;
      }
    }
    cairo_set_source_rgb(cr, 0, 0, 0);
    show_text(cr, fit(cr, e.text, l.legend_text_width), text_x, y, 0, true);
    y += l.font * 1.6;
    if (e.kind == LegendEntry::File && e.index + 1 == series.size()) y += l.font * 0.6;
  }
}
