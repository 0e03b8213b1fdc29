// The ensemble columns of a results file (a run with --members) as the
// three panels of --ensemble draw them, and what of them cannot be drawn.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tools/plot/series.hpp"

// The ends of the fresh members, in the order the shares are stacked from
// the bottom. Stalled members have no interval in the file; their share is
// stacked on top so that the stack still reaches 1.
enum class MemberEnd { Chaotic, Settled, Captured, Stalled };
constexpr int MemberEndCount = 4;

struct EndShare {
  double value = 0;                 // ended this way / fresh members
  std::optional<double> low, high;  // its 95 % Wilson interval
};

// How panel (c) marks a column: its escape rate with the interval, the
// upper bound alone where no member escaped, or nothing (no time at risk).
enum class RateMark { None, Rate, Bound };

struct EnsemblePoint {
  double damping = 0;
  // Members after member 0: member 0 continues the previous column's state,
  // so it is not a fresh draw and counts in no share, rate or ensemble
  // exponent.
  int fresh = 0;
  PlotPoint ensemble;  // ensemble_exponent with ensemble_standard_error
  PlotPoint member0;   // exponent: member 0's own, drawn apart and without bar
  std::array<EndShare, MemberEndCount> shares;
  bool shares_given = false;  // the end counts are in the file
  std::optional<double> rate, rate_low, rate_high;
  bool rate_beyond = false;  // the rate (or the bound) beyond the axis limit in the file
};

struct EnsembleSeries {
  std::string name;
  std::vector<EnsemblePoint> points;  // the ensemble columns alone
  std::size_t plain_columns = 0;      // columns without ensemble fields (or of one member)
};

// Reads a results file as ensemble columns; false with a one-line error as
// load_series gives. A file without ensemble columns is read, its points
// empty.
bool load_ensemble_series(const std::string& path, EnsembleSeries& series, std::string& error);

// What panel (c) draws of a column; where its values cannot be drawn on a
// logarithmic axis (not positive and finite, or beyond the axis limit), None.
RateMark rate_mark(const EnsemblePoint& point);
// The shares are drawn: counts given, none negative, at most the fresh
// members in all.
bool shares_drawable(const EnsemblePoint& point);
// Anything of the column is drawn in a panel.
bool any_drawable(const EnsemblePoint& point);

// Why columns of the file are not drawn, each "N columns with ..." (empty
// when every column is drawn as it is); a file without ensemble columns is
// told apart by its empty points.
std::vector<std::string> ensemble_left_out(const EnsembleSeries& series);
