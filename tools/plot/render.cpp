#include "tools/plot/render.hpp"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>

#include "tools/plot/layout.hpp"
#include "tools/plot/legend.hpp"
#include "tools/plot/palette.hpp"
#include "tools/plot/surface.hpp"
#include "tools/plot/symbols.hpp"

namespace {

void draw_title(cairo_t* cr, const PlotOptions& options, const Layout& l) {
  const PlotFrame& f = l.frame;
  const double s = l.scale;
  set_font(cr, l.font * 1.25, true);
  cairo_set_source_rgb(cr, 0, 0, 0);
  show_text(cr, fit(cr, valid_utf8(options.title), options.width - 24 * s), (f.left + f.right) / 2, 12 * s + l.font * 1.25 * 0.95,
            0.5, false);
}

void draw_zero_line(cairo_t* cr, const Layout& l) {
  const PlotFrame& f = l.frame;
  const double s = l.scale;
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  const double zero = f.y_at(0);
  const double dash[] = {4 * s, 3 * s};
  cairo_set_dash(cr, dash, 2, 0);
  cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
  cairo_set_line_width(cr, line_width(l));
  cairo_move_to(cr, f.left, zero);
  cairo_line_to(cr, f.right, zero);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
}

// Each file's bars, then its markers over them. A marker at the end of the
// range (damping 0.99875) shows whole over the frame; bars stop there too.
void draw_points(cairo_t* cr, const std::vector<PlotSeries>& series, const Layout& l, bool raster) {
  const PlotFrame& f = l.frame;
  const double line = line_width(l);
  const double radius = marker_radius(l);
  const double room = radius + 2 * line;
  cairo_save(cr);
  cairo_rectangle(cr, f.left - room, f.top - room, f.right - f.left + 2 * room, f.bottom - f.top + 2 * room);
  cairo_clip(cr);
  for (std::size_t i = 0; i < series.size(); ++i) {
    const Rgb colour = series_colour(i);
    for (const PlotPoint& p : series[i].points)
      if (is_drawable(p) && in_damping(p, f) && has_bar(p)) {
        // Cut in data units first: the ends of a huge bar mapped to the
        // picture lie beyond what Cairo can draw, and the bar would vanish.
        const double margin = (f.y.high - f.y.low) * 0.05;
        const double low = std::max(p.exponent - *p.standard_error, f.y.low - margin);
        const double high = std::min(p.exponent + *p.standard_error, f.y.high + margin);
        // On a raster a thin bar on a pixel's centre stays one crisp pixel wide.
        const double x = raster ? std::floor(f.x_at(p.damping)) + 0.5 : f.x_at(p.damping);
        draw_bar(cr, x, f.y_at(low), f.y_at(high), 2.5 * l.scale, colour, line);
      }
    for (const PlotPoint& p : series[i].points)
      if (is_drawable(p) && in_damping(p, f)) {
        draw_marker(cr, p.end, f.x_at(p.damping), f.y_at(p.exponent), radius, colour, has_bar(p), line);
        if (!l.rates && p.regime == ColumnRegime::Transient)
          draw_ring(cr, f.x_at(p.damping), f.y_at(p.exponent), radius * 1.9, colour, line);
        if (!l.rates && p.regime == ColumnRegime::Regular)
          draw_box(cr, f.x_at(p.damping), f.y_at(p.exponent), radius * 1.8, colour, line);
      }
    if (!l.rates)
      for (const PlotPoint& p : series[i].points)
        if (is_captured(p) && std::isfinite(p.damping) && in_damping(p, f))
          draw_tick(cr, f.x_at(p.damping), f.bottom, 4 * radius, colour, line);
  }
  cairo_restore(cr);
}

// --rates: g where captures happen, dashed.
void draw_drag(cairo_t* cr, const Layout& l) {
  const PlotFrame& f = l.frame;
  const double low = std::max(0.0, f.x.low);
  const double high = std::min(CaptureEdge, f.x.high);
  if (!(low < high)) return;
  cairo_save(cr);
  cairo_rectangle(cr, f.left, f.top, f.right - f.left, f.bottom - f.top);
  cairo_clip(cr);
  const double dash[] = {6 * l.scale, 4 * l.scale};
  cairo_set_dash(cr, dash, 2, 0);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, line_width(l) * 1.3);
  cairo_move_to(cr, f.x_at(low), f.y_at(pair_drag(low)));
  cairo_line_to(cr, f.x_at(high), f.y_at(pair_drag(high)));
  cairo_stroke(cr);
  cairo_restore(cr);
}

// The frame, its ticks on all four sides with labels left and below, and
// the names of the axes.
void draw_axes(cairo_t* cr, const Layout& l) {
  const char* const name = l.rates ? "rate" : "\u03bb";
  const PlotFrame& f = l.frame;
  const double s = l.scale;
  const double tick = tick_length(l);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, line_width(l));
  cairo_rectangle(cr, f.left, f.top, f.right - f.left, f.bottom - f.top);
  cairo_stroke(cr);

  set_font(cr, l.font);
  for (double v : ticks(f.x, l.x_step)) {
    const double x = f.x_at(v);
    cairo_move_to(cr, x, f.bottom);
    cairo_line_to(cr, x, f.bottom + tick);
    cairo_move_to(cr, x, f.top);
    cairo_line_to(cr, x, f.top + tick);
    cairo_stroke(cr);
    show_text(cr, tick_label(v, l.x_step), x, f.bottom + tick + 4 * s + l.font * 0.95, 0.5, false);
  }
  for (double v : ticks(f.y, l.y_step)) {
    const double y = f.y_at(v);
    cairo_move_to(cr, f.left - tick, y);
    cairo_line_to(cr, f.left, y);
    cairo_move_to(cr, f.right, y);
    cairo_line_to(cr, f.right - tick, y);
    cairo_stroke(cr);
    show_text(cr, tick_label(v, l.y_step), f.left - tick - 4 * s, y, 1, true);
  }
  show_text(cr, "damping", (f.left + f.right) / 2, f.bottom + tick + 4 * s + l.font * 2.35, 0.5, false);
  set_font(cr, l.font * 1.4, false, true);
  show_text(cr, name, 12 * s, (f.top + f.bottom) / 2, 0, true);
}

void draw(cairo_t* cr, const PlotOptions& options, const std::vector<PlotSeries>& series, bool raster) {
  set_text_options(cr);
  const Layout l = compute_layout(cr, options, series);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  if (!options.title.empty()) draw_title(cr, options, l);
  // The zero line, then the data inside the frame, then the frame on top.
  draw_zero_line(cr, l);
  if (l.rates) draw_drag(cr, l);
  draw_points(cr, series, l, raster);
  draw_axes(cr, l);
  draw_legend(cr, series, l);
}

}  // namespace

PlotFrame plot_frame(const PlotOptions& options, const std::vector<PlotSeries>& series) {
  PlotFrame frame;
  with_text_context([&](cairo_t* cr) { frame = compute_layout(cr, options, series).frame; });
  return frame;
}

bool render_plot(const PlotOptions& options, const std::vector<PlotSeries>& series, std::vector<std::uint8_t>& bytes,
                 std::string& error) {
  return render_figure(
      options, [&](cairo_t* cr, bool raster) { draw(cr, options, series, raster); }, bytes, error);
}

void release_text_caches() {
  cairo_debug_reset_static_data();
  FcFini();
}
