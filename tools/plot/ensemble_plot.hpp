// The figure of --ensemble: three panels against the damping, sharing its
// axis, drawn with Cairo into the bytes of a PNG, SVG or PDF file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/plot/arguments.hpp"
#include "tools/plot/axes.hpp"
#include "tools/plot/ensemble_series.hpp"

// The panels' frames, top to bottom, as render_ensemble draws them; the
// last one's y in decades (log10 of the escape rate).
std::array<PlotFrame, 3> ensemble_frames(const PlotOptions& options, const EnsembleSeries& series);

// false with a one-line reason when Cairo fails.
bool render_ensemble(const PlotOptions& options, const EnsembleSeries& series, std::vector<std::uint8_t>& bytes,
                     std::string& error);
