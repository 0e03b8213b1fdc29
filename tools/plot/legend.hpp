// The legend on the right of the plot: the files by colour, then the
// markers and marks that occur, and g where rates are drawn.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <string>
#include <vector>

#include "tools/plot/axes.hpp"
#include "tools/plot/series.hpp"

struct Layout;

struct LegendEntry {
  enum Kind { File, End, Hollow, Bar, Transient, Regular, Captured, Drag } kind;
  std::size_t index;  // File: the series; End: the PointEnd
  std::string text;
};

// The entries for what is drawn of `series` within `frame`'s damping.
std::vector<LegendEntry> legend_entries(const std::vector<PlotSeries>& series, const PlotFrame& frame, bool rates);

void draw_legend(cairo_t* cr, const std::vector<PlotSeries>& series, const Layout& l);
