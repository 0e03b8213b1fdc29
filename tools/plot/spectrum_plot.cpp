#include "tools/plot/spectrum_plot.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/plot/palette.hpp"
#include "tools/plot/render.hpp"
#include "tools/plot/symbols.hpp"

namespace {

constexpr const char* Face = "DejaVu Sans";

struct Layout {
  SpectrumPanels panels;
  double scale = 1;
  double font = 13;
  double x_step = 0.1;
  double exponent_step = 1;
  double dimension_step = 1;
  double legend_left = 0;
};

struct Entry {
  int kind;  // 0..5: an exponent; 6 the bar; 7 the dimension; 8 a failed certificate
  std::string text;
};

void set_font(cairo_t* cr, double size, bool oblique = false) {
  cairo_select_font_face(cr, Face, oblique ? CAIRO_FONT_SLANT_OBLIQUE : CAIRO_FONT_SLANT_NORMAL,
                         CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double text_width(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

void show_text(cairo_t* cr, const std::string& text, double x, double y, double align_x, bool centre) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_font_extents_t f;
  cairo_font_extents(cr, &f);
  cairo_move_to(cr, x - e.x_advance * align_x, centre ? y + f.ascent * 0.36 : y);
  cairo_show_text(cr, text.c_str());
}

bool drawn(const PlotPoint& p, const PlotFrame& f) {
  return is_drawable(p) && p.damping >= f.x.low && p.damping <= f.x.high;
}

std::vector<Entry> legend(const SpectrumSeries& series, const PlotFrame& frame) {
  std::vector<Entry> entries;
  bool bar = false;
  for (std::size_t k = 0; k < series.exponents.size(); ++k) {
    entries.push_back({static_cast<int>(k), "\u03bb" + std::to_string(k + 1)});
    for (const PlotPoint& p : series.exponents[k].points) bar = bar || (drawn(p, frame) && has_bar(p));
  }
  entries.push_back({7, "Kaplan-Yorke dimension"});
  if (bar) entries.push_back({6, "\u00b1 1 standard error"});
  for (const PlotPoint& p : series.failed.points)
    if (drawn(p, frame)) {
      entries.push_back({8, "certificate failed"});
      break;
    }
  return entries;
}

void set_text_options(cairo_t* cr) {
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

Layout compute_layout(cairo_t* cr, const PlotOptions& options, const SpectrumSeries& series) {
  Layout l;
  l.scale = std::clamp(std::min(options.width / 960.0, options.height / 600.0), 0.7, 4.0);
  const double s = l.scale;
  l.font = 13 * s;
  const double margin = 12 * s, tick = 5 * s;
  PlotFrame& top = l.panels.exponents;
  PlotFrame& bottom = l.panels.dimension;
  top.x = bottom.x = {options.damping_low, options.damping_high};
  top.y = exponent_range(series.exponents, top.x);
  bottom.y = exponent_range({series.dimension}, bottom.x);
  l.exponent_step = tick_step(top.y, 5);
  l.dimension_step = tick_step(bottom.y, 3);

  set_font(cr, l.font);
  double label_width = 0;
  for (double v : ticks(top.y, l.exponent_step))
    label_width = std::max(label_width, text_width(cr, tick_label(v, l.exponent_step)));
  for (double v : ticks(bottom.y, l.dimension_step))
    label_width = std::max(label_width, text_width(cr, tick_label(v, l.dimension_step)));
  set_font(cr, l.font * 1.4, true);
  const double name_width = text_width(cr, "D") + text_width(cr, "KY") * 0.6;
  top.left = bottom.left = margin + name_width + 10 * s + label_width + 6 * s + tick;
  top.top = margin + (options.title.empty() ? 6 * s : l.font * 1.25 * 1.6);
  bottom.bottom = options.height - (margin + l.font * 2.6 + 6 * s + tick);
  const double gap = 16 * s;
  const double height = bottom.bottom - top.top - gap;
  top.bottom = top.top + 0.6 * height;
  bottom.top = top.bottom + gap;

  set_font(cr, l.font);
  double legend_text = 0;
  for (const Entry& e : legend(series, top)) legend_text = std::max(legend_text, text_width(cr, e.text));
  l.legend_left = options.width - margin - (22 * s + legend_text + 10 * s);
  top.right = bottom.right = l.legend_left - 16 * s;
  l.x_step = tick_step(top.x, std::max(2, static_cast<int>((top.right - top.left) / (70 * s))));
  return l;
}

void draw_panel(cairo_t* cr, const Layout& l, const PlotFrame& f, double y_step, bool x_labels) {
  const double s = l.scale, tick = 5 * s, line = 1 * s;
  // The zero line, dashed.
  if (f.y.low < 0 && f.y.high > 0) {
    const double dash[] = {4 * s, 3 * s};
    cairo_set_dash(cr, dash, 2, 0);
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    cairo_set_line_width(cr, line);
    cairo_move_to(cr, f.left, f.y_at(0));
    cairo_line_to(cr, f.right, f.y_at(0));
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, line);
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
    if (x_labels) show_text(cr, tick_label(v, l.x_step), x, f.bottom + tick + 4 * s + l.font * 0.95, 0.5, false);
  }
  for (double v : ticks(f.y, y_step)) {
    const double y = f.y_at(v);
    cairo_move_to(cr, f.left - tick, y);
    cairo_line_to(cr, f.left, y);
    cairo_move_to(cr, f.right, y);
    cairo_line_to(cr, f.right - tick, y);
    cairo_stroke(cr);
    show_text(cr, tick_label(v, y_step), f.left - tick - 4 * s, y, 1, true);
  }
}

void draw_series(cairo_t* cr, const Layout& l, const PlotFrame& f, const PlotSeries& series, Rgb colour, bool raster) {
  const double line = 1 * l.scale, radius = 3.2 * l.scale, room = radius + 2 * line;
  cairo_save(cr);
  cairo_rectangle(cr, f.left - room, f.top - room, f.right - f.left + 2 * room, f.bottom - f.top + 2 * room);
  cairo_clip(cr);
  const double margin = (f.y.high - f.y.low) * 0.05;
  for (const PlotPoint& p : series.points)
    if (drawn(p, f) && has_bar(p)) {
      const double low = std::max(p.exponent - *p.standard_error, f.y.low - margin);
      const double high = std::min(p.exponent + *p.standard_error, f.y.high + margin);
      const double x = raster ? std::floor(f.x_at(p.damping)) + 0.5 : f.x_at(p.damping);
      draw_bar(cr, x, f.y_at(low), f.y_at(high), 2.5 * l.scale, colour, line);
    }
  for (const PlotPoint& p : series.points)
    if (drawn(p, f))
      draw_marker(cr, PointEnd::Converged, f.x_at(p.damping), f.y_at(p.exponent), radius, colour, has_bar(p), line);
  cairo_restore(cr);
}

void draw(cairo_t* cr, const PlotOptions& options, const SpectrumSeries& series, bool raster) {
  set_text_options(cr);
  const Layout l = compute_layout(cr, options, series);
  const PlotFrame& top = l.panels.exponents;
  const PlotFrame& bottom = l.panels.dimension;
  const double s = l.scale;
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  if (!options.title.empty()) {
    set_font(cr, l.font * 1.25);
    cairo_set_source_rgb(cr, 0, 0, 0);
    show_text(cr, valid_utf8(options.title), (top.left + top.right) / 2, 12 * s + l.font * 1.25 * 0.95, 0.5, false);
  }
  draw_panel(cr, l, top, l.exponent_step, false);
  draw_panel(cr, l, bottom, l.dimension_step, true);
  // The largest exponent last, on top of the others.
  for (std::size_t k = series.exponents.size(); k-- > 0;)
    draw_series(cr, l, top, series.exponents[k], series_colour(k), raster);
  const Rgb black{0, 0, 0};
  draw_series(cr, l, bottom, series.dimension, black, raster);
  for (const PlotPoint& p : series.failed.points)
    if (drawn(p, bottom)) draw_ring(cr, bottom.x_at(p.damping), bottom.y_at(p.exponent), 6 * s, {0.8, 0.1, 0.1}, s);
  cairo_set_source_rgb(cr, 0, 0, 0);
  set_font(cr, l.font);
  show_text(cr, "damping", (top.left + top.right) / 2, bottom.bottom + 9 * s + l.font * 2.35, 0.5, false);
  set_font(cr, l.font * 1.4, true);
  show_text(cr, "\u03bb", 12 * s, (top.top + top.bottom) / 2, 0, true);
  show_text(cr, "D", 12 * s, (bottom.top + bottom.bottom) / 2, 0, true);
  const double d_width = text_width(cr, "D");
  set_font(cr, l.font * 0.85, true);
  show_text(cr, "KY", 12 * s + d_width, (bottom.top + bottom.bottom) / 2 + l.font * 0.45, 0, true);
  // The legend.
  set_font(cr, l.font);
  double y = top.top + l.font * 0.8;
  const double symbol_x = l.legend_left + 8 * s, text_x = l.legend_left + 22 * s;
  const Rgb grey{0.3, 0.3, 0.3};
  for (const Entry& e : legend(series, top)) {
    if (e.kind < 6) draw_marker(cr, PointEnd::Converged, symbol_x, y, 3.2 * s, series_colour(e.kind), true, s);
    if (e.kind == 6) draw_bar(cr, symbol_x, y + 6 * s, y - 6 * s, 2.5 * s, grey, s);
    if (e.kind == 7) draw_marker(cr, PointEnd::Converged, symbol_x, y, 3.2 * s, black, true, s);
    if (e.kind == 8) draw_ring(cr, symbol_x, y, 6 * s, {0.8, 0.1, 0.1}, s);
    cairo_set_source_rgb(cr, 0, 0, 0);
    show_text(cr, e.text, text_x, y, 0, true);
    y += l.font * 1.6;
  }
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

PlotPoint point(Real damping, Real value, const std::optional<Real>& error) {
  PlotPoint p;
  p.damping = static_cast<double>(damping);
  p.exponent = static_cast<double>(value);
  if (error) p.standard_error = static_cast<double>(*error);
  return p;
}

}  // namespace

SpectrumSeries spectrum_series(const std::vector<SpectrumLine>& lines) {
  SpectrumSeries series;
  for (const SpectrumLine& line : lines) {
    const std::size_t drawn = std::min<std::size_t>(SpectrumPlotExponents, line.exponents.size());
    if (series.exponents.size() < drawn) series.exponents.resize(drawn);
    for (std::size_t k = 0; k < drawn; ++k)
      series.exponents[k].points.push_back(point(line.damping, line.exponents[k], line.errors[k]));
    const PlotPoint dimension = point(line.damping, line.kaplan_yorke.value_or(NAN), line.kaplan_yorke_error);
    series.dimension.points.push_back(dimension);
    if (line.certificate != "ok" && line.certificate != "unchecked") series.failed.points.push_back(dimension);
  }
  return series;
}

SpectrumPanels spectrum_panels(const PlotOptions& options, const SpectrumSeries& series) {
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
  Context cr(cairo_create(surface.get()));
  set_text_options(cr.get());
  return compute_layout(cr.get(), options, series).panels;
}

bool render_spectrum_plot(const PlotOptions& options, const SpectrumSeries& series, std::vector<std::uint8_t>& bytes,
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

int run_spectrum_plot(const PlotOptions& options, PlotWriter write) {
  std::vector<SpectrumLine> lines;
  for (const std::string& input : options.inputs) {
    std::string error;
    const std::optional<std::vector<SpectrumLine>> read = read_spectrum_file(input, error);
    if (!read) {
      std::fprintf(stderr, "flockchase-plot: %s\n", plot_printable(error).c_str());
      return 1;
    }
    if (read->empty()) {
      std::fprintf(stderr, "flockchase-plot: %s: no column lines\n", plot_printable(input).c_str());
      return 1;
    }
    lines.insert(lines.end(), read->begin(), read->end());
  }
  std::vector<std::uint8_t> bytes;
  std::string error;
  const bool made = render_spectrum_plot(options, spectrum_series(lines), bytes, error);
  release_text_caches();
  if (!made) {
    std::fprintf(stderr, "flockchase-plot: %s: %s\n", plot_printable(options.output).c_str(), error.c_str());
    return 1;
  }
  if (!write(options.output, bytes, error)) {
    std::fprintf(stderr, "flockchase-plot: cannot write %s: %s\n", plot_printable(options.output).c_str(),
                 error.c_str());
    return 1;
  }
  return 0;
}
