// Where the three panels of --ensemble go, their ranges and ticks, their
// legends' entries and the colours of the members' ends.
#pragma once

#include <cairo.h>

#include <array>
#include <string>
#include <vector>

#include "tools/plot/arguments.hpp"
#include "tools/plot/axes.hpp"
#include "tools/plot/ensemble_series.hpp"
#include "tools/plot/palette.hpp"

// Top to bottom: (a) the exponents, (b) the shares of the ends, (c) the
// escape rate.
enum class Panel { Exponent, Shares, Escape };
constexpr int PanelCount = 3;

struct EnsembleLayout {
  // The frames share left, right and the damping; panel (c)'s y is in
  // decades (log10 of the rate).
  std::array<PlotFrame, PanelCount> frames;
  double scale = 1;
  double font = 13;
  double x_step = 0.1;
  double exponent_step = 1;  // panel (a)'s ticks
  double share_step = 0.2;   // panel (b)'s
  int decade_step = 1;       // panel (c)'s labelled decades
  double legend_left = 0;
  double legend_text_width = 0;
  double bar_width = 1;  // panel (b)'s stacked bars
  double margin = 12;
};

struct EnsembleEntry {
  enum Kind { Ensemble, Hollow, Bar, Member0, Band, Interval, Rate, Bound } kind;
  MemberEnd band = MemberEnd::Chaotic;  // Band
  std::string text;
};

Rgb ensemble_colour();
Rgb member0_colour();
Rgb band_colour(MemberEnd end);
// A band's interval: darker than the band, so that it shows over it.
Rgb interval_colour(MemberEnd end);
const char* member_end_name(MemberEnd end);

inline bool in_damping(double damping, AxisRange x) { return damping >= x.low && damping <= x.high; }

// What panel `panel` draws of `series` within `damping`, in its legend's
// order.
std::vector<EnsembleEntry> panel_entries(Panel panel, const EnsembleSeries& series, AxisRange damping);

EnsembleLayout compute_ensemble_layout(cairo_t* cr, const PlotOptions& options, const EnsembleSeries& series);
