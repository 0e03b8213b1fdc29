// Drawing the plot with Cairo into the bytes of a PNG, SVG or PDF file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/plot/arguments.hpp"
#include "tools/plot/axes.hpp"
#include "tools/plot/series.hpp"

// Where the axes of the picture for these options and files sit; what
// render_plot draws uses exactly this frame.
PlotFrame plot_frame(const PlotOptions& options, const std::vector<PlotSeries>& series);

// The whole picture in the options' format; false with a one-line reason
// when Cairo fails.
bool render_plot(const PlotOptions& options, const std::vector<PlotSeries>& series, std::vector<std::uint8_t>& bytes,
                 std::string& error);

// Gives back what Cairo and fontconfig keep for the rest of the process, so
// that leak checks see only real leaks. Call once, when no Cairo object is
// left.
void release_text_caches();
