// The Cairo surface of a picture in the options' format and size, drawn by
// a figure and given back as the bytes of its PNG, SVG or PDF file.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/plot/arguments.hpp"

// `raster`: the surface is PNG's pixels, where thin lines belong on pixel
// centres.
using DrawFigure = std::function<void(cairo_t* cr, bool raster)>;

// false with a one-line reason when Cairo fails.
bool render_figure(const PlotOptions& options, const DrawFigure& draw, std::vector<std::uint8_t>& bytes,
                   std::string& error);

// Runs `measure` on a context with the figures' text options, for layouts
// computed apart from drawing.
void with_text_context(const std::function<void(cairo_t* cr)>& measure);
