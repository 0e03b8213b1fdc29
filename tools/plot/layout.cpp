#include "tools/plot/layout.hpp"

#include <algorithm>
#include <cmath>

#include "tools/plot/legend.hpp"

namespace {

constexpr const char* Face = "DejaVu Sans";

}  // namespace

void set_font(cairo_t* cr, double size, bool bold, bool oblique) {
  cairo_select_font_face(cr, Face, oblique ? CAIRO_FONT_SLANT_OBLIQUE : CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double text_width(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

std::string fit(cairo_t* cr, const std::string& text, double width) {
  if (text_width(cr, text) <= width) return text;
  for (std::size_t cut = 1; cut < text.size(); ++cut) {
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) continue;
    const std::string shorter = "\u2026" + text.substr(cut);
    if (text_width(cr, shorter) <= width) return shorter;
  }
  return "\u2026";
}

void set_text_options(cairo_t* cr) {
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

void show_text(cairo_t* cr, const std::string& text, double x, double y, double align_x, bool centre) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_font_extents_t f;
  cairo_font_extents(cr, &f);
  cairo_move_to(cr, x - e.x_advance * align_x, centre ? y + f.ascent * 0.36 : y);
  cairo_show_text(cr, text.c_str());
}
