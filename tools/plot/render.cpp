#include "tools/plot/render.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "tools/plot/palette.hpp"
#include "tools/plot/symbols.hpp"

namespace {

constexpr const char* Face = "DejaVu Sans";

struct Layout {
  PlotFrame frame;
  double scale = 1;
  double font = 13;
  double x_step = 0.1;
  double y_step = 1;
  double legend_left = 0;
  double legend_text_width = 0;
  bool rates = false;  // --rates: the y axis is a rate, and g is drawn
};

// Captures happen only below this damping, where g > 0.
constexpr double CaptureEdge = 0.225;

struct LegendEntry {
  enum Kind { File, End, Hollow, Bar, Transient, Captured, Drag } kind;
  std::size_t index;  // File: the series; End: the PointEnd
  std::string text;
};

const char* const EndNames[PointEndCount] = {"converged",         "time limit", "pass limit",    "coinciding",
                                             "iteration ceiling", "stalled",    "no measurement"};

bool in_damping(const PlotPoint& p, const PlotFrame& f) { return p.damping >= f.x.low && p.damping <= f.x.high; }

void set_font(cairo_t* cr, double size, bool bold = false, bool oblique = false) {
  cairo_select_font_face(cr, Face, oblique ? CAIRO_FONT_SLANT_OBLIQUE : CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double text_width(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

// Keeps the end of a long file name (its own name), cut at a character.
std::string fit(cairo_t* cr, const std::string& text, double width) {
  if (text_width(cr, text) <= width) return text;
  for (std::size_t cut = 1; cut < text.size(); ++cut) {
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) continue;
    const std::string shorter = "\u2026" + text.substr(cut);
    if (text_width(cr, shorter) <= width) return shorter;
  }
  return "\u2026";
}

bool is_captured(const PlotPoint& p) { return p.regime == ColumnRegime::Captured; }

std::vector<LegendEntry> legend_entries(const std::vector<PlotSeries>& series, const PlotFrame& frame, bool rates) {
  std::vector<LegendEntry> entries;
  std::array<bool, PointEndCount> ends{};
  bool hollow = false;
  bool bar = false;
  bool transient = false;
  bool captured = false;
  for (std::size_t i = 0; i < series.size(); ++i) {
    entries.push_back({LegendEntry::File, i, valid_utf8(series[i].name)});
    for (const PlotPoint& p : series[i].points) {
      if (!rates && is_captured(p) && std::isfinite(p.damping) && in_damping(p, frame)) captured = true;
      if (!is_drawable(p) || !in_damping(p, frame)) continue;
      if (p.regime == ColumnRegime::Transient) transient = true;
      ends[static_cast<std::size_t>(p.end)] = true;
      if (has_bar(p)) bar = true;
      else if (p.end != PointEnd::NoMeasurement) hollow = true;
    }
  }
  for (std::size_t e = 0; e < ends.size(); ++e)
    if (ends[e]) entries.push_back({LegendEntry::End, e, EndNames[e]});
  if (hollow && !rates) entries.push_back({LegendEntry::Hollow, 0, "no standard error"});
  if (bar) entries.push_back({LegendEntry::Bar, 0, "\u00b1 1 standard error"});
  if (transient && !rates) entries.push_back({LegendEntry::Transient, 0, "transient: captures"});
  if (captured) entries.push_back({LegendEntry::Captured, 0, "captured: no exponent"});
  if (rates) entries.push_back({LegendEntry::Drag, 0, "g = 1.5 - 20 D / 3"});
  return entries;
}

void set_text_options(cairo_t* cr) {
  // The same text metrics on every surface, so that PNG, SVG and PDF share
  // one layout.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

Layout compute_layout(cairo_t* cr, const PlotOptions& options, const std::vector<PlotSeries>& series) {
  Layout l;
  l.scale = std::clamp(std::min(options.width / 960.0, options.height / 600.0), 0.7, 4.0);
  l.font = 13 * l.scale;
  const double s = l.scale;
  const double margin = 12 * s;
  const double tick = 5 * s;
  l.frame.x = {options.damping_low, options.damping_high};
  l.rates = options.rates;
  if (options.rates) {
    // The range also holds g where it is drawn.
    std::vector<PlotSeries> with_drag = series;
    const double low = std::max(0.0, options.damping_low);
    const double high = std::min(CaptureEdge, options.damping_high);
    if (low < high) {
      PlotSeries drag;
      for (double d : {low, high}) {
        PlotPoint p;
        p.damping = d;
        p.exponent = pair_drag(d);
        drag.points.push_back(p);
      }
      with_drag.push_back(drag);
    }
    l.frame.y = exponent_range(with_drag, l.frame.x);
  } else {
    l.frame.y = exponent_range(series, l.frame.x);
  }
  l.y_step = tick_step(l.frame.y, 6);

  set_font(cr, l.font);
  double label_width = 0;
  for (double v : ticks(l.frame.y, l.y_step)) label_width = std::max(label_width, text_width(cr, tick_label(v, l.y_step)));
  set_font(cr, l.font * 1.4, false, true);
  const double name_width = text_width(cr, options.rates ? "rate" : "\u03bb");

  l.frame.left = margin + name_width + 10 * s + label_width + 6 * s + tick;
  l.frame.top = margin + (options.title.empty() ? 6 * s : l.font * 1.25 * 1.6);
  l.frame.bottom = options.height - (margin + l.font * 2.6 + 6 * s + tick);

  set_font(cr, l.font);
  const double widest = 0.28 * options.width;
  for (const LegendEntry& e : legend_entries(series, l.frame, l.rates))
    l.legend_text_width = std::max(l.legend_text_width, std::min(widest, text_width(cr, e.text)));
  const double legend_width = 22 * s + l.legend_text_width + 10 * s;
  l.legend_left = options.width - margin - legend_width;
  l.frame.right = l.legend_left - 16 * s;

  const double plot_width = l.frame.right - l.frame.left;
  l.x_step = tick_step(l.frame.x, std::max(2, static_cast<int>(plot_width / (70 * s))));
  return l;
}

// align_x: 0 starts the text at x, 0.5 centres it, 1 ends it there. With
// `centre` the digits' height is centred on y (labels sit on their ticks),
// else y is the baseline.
void show_text(cairo_t* cr, const std::string& text, double x, double y, double align_x, bool centre) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_font_extents_t f;
  cairo_font_extents(cr, &f);
  cairo_move_to(cr, x - e.x_advance * align_x, centre ? y + f.ascent * 0.36 : y);
  cairo_show_text(cr, text.c_str());
}

// Line widths and sizes in the picture, growing with its scale.
double line_width(const Layout& l) { return 1 * l.scale; }
double tick_length(const Layout& l) { return 5 * l.scale; }
double marker_radius(const Layout& l) { return 3.2 * l.scale; }

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

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* bytes = static_cast<std::vector<std::uint8_t>*>(closure);
  bytes->insert(bytes->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

}  // namespace

PlotFrame plot_frame(const PlotOptions& options, const std::vector<PlotSeries>& series) {
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
  Context cr(cairo_create(surface.get()));
  set_text_options(cr.get());
  return compute_layout(cr.get(), options, series).frame;
}

bool render_plot(const PlotOptions& options, const std::vector<PlotSeries>& series, std::vector<std::uint8_t>& bytes,
                 std::string& error) {
  bytes.clear();
  Surface surface;
  switch (options.format) {
    case PlotFormat::Png:
      surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, options.width, options.height));
      break;
    case PlotFormat::Svg:
      surface.reset(cairo_svg_surface_create_for_stream(append_bytes, &bytes, options.width, options.height));
      break;
    case PlotFormat::Pdf:
      surface.reset(cairo_pdf_surface_create_for_stream(append_bytes, &bytes, options.width, options.height));
      if (!options.title.empty())
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, valid_utf8(options.title).c_str());
      cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "flockchase-plot");
      break;
  }
  {
    Context cr(cairo_create(surface.get()));
    draw(cr.get(), options, series, options.format == PlotFormat::Png);
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
      error = std::string("cannot draw the plot: ") + cairo_status_to_string(cairo_status(cr.get()));
      return false;
    }
  }
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  if (options.format == PlotFormat::Png) {
    cairo_surface_flush(surface.get());
    status = cairo_surface_write_to_png_stream(surface.get(), append_bytes, &bytes);
  } else {
    cairo_surface_finish(surface.get());
    status = cairo_surface_status(surface.get());
  }
  if (status != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot make the picture: ") + cairo_status_to_string(status);
    bytes.clear();
    return false;
  }
  return true;
}

void release_text_caches() {
  cairo_debug_reset_static_data();
  FcFini();
}
