// Where the parts of the plot go: the frame of the axes, the legend's place,
// the tick steps and the sizes that grow with the picture; and the text
// helpers that measure and place labels, shared by the drawing and the
// legend.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "tools/plot/arguments.hpp"
#include "tools/plot/axes.hpp"
#include "tools/plot/series.hpp"

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

inline bool in_damping(const PlotPoint& p, const PlotFrame& f) { return p.damping >= f.x.low && p.damping <= f.x.high; }
inline bool is_captured(const PlotPoint& p) { return p.regime == ColumnRegime::Captured; }

// Line widths and sizes in the picture, growing with its scale.
inline double line_width(const Layout& l) { return 1 * l.scale; }
inline double tick_length(const Layout& l) { return 5 * l.scale; }
inline double marker_radius(const Layout& l) { return 3.2 * l.scale; }

// The same text metrics on every surface, so that PNG, SVG and PDF share
// one layout.
void set_text_options(cairo_t* cr);
void set_font(cairo_t* cr, double size, bool bold = false, bool oblique = false);
double text_width(cairo_t* cr, const std::string& text);
// Keeps the end of a long file name (its own name), cut at a character.
std::string fit(cairo_t* cr, const std::string& text, double width);
// align_x: 0 starts the text at x, 0.5 centres it, 1 ends it there. With
// `centre` the digits' height is centred on y (labels sit on their ticks),
// else y is the baseline.
void show_text(cairo_t* cr, const std::string& text, double x, double y, double align_x, bool centre);

// The layout of the picture for these options and files, measured with the
// text of `cr`.
Layout compute_layout(cairo_t* cr, const PlotOptions& options, const std::vector<PlotSeries>& series);
