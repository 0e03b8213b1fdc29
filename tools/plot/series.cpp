#include "tools/plot/series.hpp"

#include <cmath>
#include <filesystem>

#include "app/files/results_file.hpp"

PointEnd point_end(const ColumnResult& column) {
  if (column.measured_passes == 0) return PointEnd::NoMeasurement;
  switch (column.end) {
    case ColumnEnd::Converged: return PointEnd::Converged;
    case ColumnEnd::TimeLimit: return PointEnd::TimeLimit;
    case ColumnEnd::PassLimit: return PointEnd::PassLimit;
    case ColumnEnd::Coinciding: return PointEnd::Coinciding;
    case ColumnEnd::IterationCeiling: return PointEnd::IterationCeiling;
    case ColumnEnd::Stalled: return PointEnd::Stalled;
    case ColumnEnd::Settled: return PointEnd::Settled;
    case ColumnEnd::Captured: return PointEnd::Captured;
  }
  return PointEnd::Converged;
}

namespace {

// The value of a point from the file's, which may lie beyond any double.
void set_value(PlotPoint& point, const std::optional<Real>& value) {
  point.absent = !value;
  point.exponent = value ? static_cast<double>(*value) : NAN;
  point.beyond = value && std::isfinite(*value) && std::fabs(*value) > AxisLimit;
}

}  // namespace

PlotPoint plot_point(const ColumnResult& column) {
  PlotPoint point;
  point.damping = static_cast<double>(column.damping);
  point.regime = column.regime;
  point.escaped_by_capture = column.captures.value_or(0) > 0;
  point.escaped_by_settling = column.settled_time.has_value();
  // A captured column has no exponent.
  set_value(point, HasExponent(column) ? std::optional<Real>(column.exponent) : std::nullopt);
  if (HasExponent(column) && column.standard_error) point.standard_error = static_cast<double>(*column.standard_error);
  point.end = point_end(column);
  return point;
}

bool is_drawable(const PlotPoint& point) {
  return std::isfinite(point.damping) && std::isfinite(point.exponent) && std::abs(point.exponent) <= AxisLimit &&
         !point.beyond;
}

bool is_beyond_axis(const PlotPoint& point) {
  return std::isfinite(point.damping) &&
         (point.beyond || (std::isfinite(point.exponent) && std::abs(point.exponent) > AxisLimit));
}

bool is_left_out(const PlotPoint& point) { return !point.absent && !is_drawable(point); }

bool has_bar(const PlotPoint& point) {
  return point.end != PointEnd::NoMeasurement && point.standard_error && std::isfinite(*point.standard_error) &&
         *point.standard_error >= 0 && *point.standard_error <= AxisLimit;
}

std::optional<std::vector<ColumnResult>> load_columns(const std::string& path, std::string& error,
                                                      ResultsLayout* layout) {
  std::error_code code;
  if (std::filesystem::is_directory(path, code)) {
    error = path + ": is a folder, not a results file";
    return std::nullopt;
  }
  std::optional<std::vector<ColumnResult>> columns = read_results_file(path, error, layout);
  if (columns && columns->empty()) {
    error = path + ": no columns (the file holds only the header line)";
    return std::nullopt;
  }
  return columns;
}

namespace {

// Only the layouts with the capture fields have the rates; a switch, so
// that a new layout is not forgotten here.
bool has_capture_fields(ResultsLayout layout) {
  switch (layout) {
    case ResultsLayout::Plain:
    case ResultsLayout::Extended15:
    case ResultsLayout::Merged16: return false;
    case ResultsLayout::Extended:
    case ResultsLayout::Merged:
    case ResultsLayout::Extended24:
    case ResultsLayout::Merged25:
    case ResultsLayout::Extended48:
    case ResultsLayout::Merged49: return true;
  }
  return false;
}

PlotPoint rate_point(const ColumnResult& column, const std::optional<Real>& rate) {
  PlotPoint point;
  point.damping = static_cast<double>(column.damping);
  set_value(point, rate);
  point.end = point_end(column);
  point.regime = column.regime;
  return point;
}

}  // namespace

bool load_rate_series(const std::string& path, PlotSeries& collapse, PlotSeries& capture, std::string& error) {
  ResultsLayout layout = ResultsLayout::Plain;
  const std::optional<std::vector<ColumnResult>> columns = load_columns(path, error, &layout);
  if (!columns) return false;
  const bool missing = !has_capture_fields(layout);
  collapse = PlotSeries{path + ": collapse rate", {}, "collapse_rate", missing};
  capture = PlotSeries{path + ": capture rate", {}, "capture_rate", missing};
  for (const ColumnResult& column : *columns) {
    collapse.points.push_back(rate_point(column, column.collapse_rate));
    capture.points.push_back(rate_point(column, column.capture_rate));
  }
  return true;
}

bool load_series(const std::string& path, PlotSeries& series, std::string& error) {
  std::optional<std::vector<ColumnResult>> columns = load_columns(path, error);
  if (!columns) return false;
  series.name = path;
  series.points.clear();
  for (const ColumnResult& column : *columns) series.points.push_back(plot_point(column));
  return true;
}
