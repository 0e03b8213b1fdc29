// The columns of results files as points to draw.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/files/results_file.hpp"
#include "app/measure/column_result.hpp"

// How a column ended, as the plot tells it apart (the legend's order).
enum class PointEnd {
  Converged,
  TimeLimit,
  PassLimit,
  Coinciding,
  IterationCeiling,
  Stalled,
  Settled,
  Captured,
  NoMeasurement
};
constexpr int PointEndCount = 9;

struct PlotPoint {
  double damping = 0;
  double exponent = 0;  // or, with --rates, the rate
  std::optional<double> standard_error;  // as in the file; see has_bar
  PointEnd end = PointEnd::Converged;
  std::optional<ColumnRegime> regime;  // with capture detection
  // How a transient column's chaos ended: captures, a settling, or both.
  bool escaped_by_capture = false;
  bool escaped_by_settling = false;
  // The file gives no value: a captured column's exponent, an empty rate.
  // Not drawn, and by design, so not said to be left out.
  bool absent = false;
  // Finite in the file but beyond AxisLimit in magnitude, perhaps beyond
  // what a double holds (1e4000): left out, and said so.
  bool beyond = false;
};

struct PlotSeries {
  std::string name;  // the file name as given
  std::vector<PlotPoint> points;
  // What the points' values are, as the results file names the field.
  std::string field = "exponent";
  // The file's layout has no such field (one written before it or without
  // capture detection): nothing of it can be drawn.
  bool field_missing = false;
};

// A column with no measured pass repeats the values of the one before; that
// tells more than how it ended.
PointEnd point_end(const ColumnResult& column);
PlotPoint plot_point(const ColumnResult& column);

// The largest exponent (and error) in magnitude that an axis can span
// together with others: beyond it the range, its ticks and its padding
// would overflow to infinity.
constexpr double AxisLimit = 1e307;

// Drawn at all: finite damping, and an exponent within the axis limit.
bool is_drawable(const PlotPoint& point);
// Finite, but beyond the axis limit: left out, and said so.
bool is_beyond_axis(const PlotPoint& point);
// Left out for a value in the file that cannot be drawn: not finite (or its
// damping not finite), or beyond the axis limit. Not an absent value.
bool is_left_out(const PlotPoint& point);
// Drawn with a bar and filled: a finite standard error (within the axis
// limit) of a measured column.
bool has_bar(const PlotPoint& point);

// The columns of a results file (its layout told in `layout` when given);
// none with a one-line error naming the file (and the line) when it is a
// folder, missing, empty, damaged or holds no column.
std::optional<std::vector<ColumnResult>> load_columns(const std::string& path, std::string& error,
                                                      ResultsLayout* layout = nullptr);

// Reads a results file; false with a one-line error naming the file (and the
// line) when it is missing, empty, damaged or holds no column.
bool load_series(const std::string& path, PlotSeries& series, std::string& error);

// What --rates draws of a file: its columns' collapse rates and capture
// rates, as the points' values (no bars); a column without a rate is not
// drawn. A file without the capture fields is read, both series marked
// `field_missing`.
bool load_rate_series(const std::string& path, PlotSeries& collapse, PlotSeries& capture, std::string& error);

// The captured pairs' analytic drag at damping D: 1.5 - 20 D / 3.
inline double pair_drag(double damping) { return 1.5 - 20 * damping / 3; }
