// flockchase-plot --spectrum: spectrum files drawn as two panels over one
// damping axis, the largest exponents (up to six, each in a colour of its
// own) above and the Kaplan-Yorke dimension below, each point with a bar
// of one standard error; a column whose certificate failed has a ring
// around its dimension.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/files/spectrum_file.hpp"
#include "tools/plot/arguments.hpp"
#include "tools/plot/axes.hpp"
#include "tools/plot/series.hpp"

constexpr int SpectrumPlotExponents = 6;

// The points to draw: one series per exponent drawn, the dimensions, and
// the dimensions of the columns whose certificate failed.
struct SpectrumSeries {
  std::vector<PlotSeries> exponents;
  PlotSeries dimension;
  PlotSeries failed;
};
SpectrumSeries spectrum_series(const std::vector<SpectrumLine>& lines);

// Where the two panels sit in the picture; what render_spectrum_plot draws
// uses exactly these frames.
struct SpectrumPanels {
  PlotFrame exponents, dimension;
};
SpectrumPanels spectrum_panels(const PlotOptions& options, const SpectrumSeries& series);

// The whole picture in the options' format; false with a one-line reason
// when Cairo fails.
bool render_spectrum_plot(const PlotOptions& options, const SpectrumSeries& series, std::vector<std::uint8_t>& bytes,
                          std::string& error);

// The whole of --spectrum after the command line and the output's checks:
// reads every input as a spectrum file, draws them, and writes the picture
// with `write`; the exit status, with one line on standard error on a
// failure.
using PlotWriter = bool (*)(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);
int run_spectrum_plot(const PlotOptions& options, PlotWriter write);
