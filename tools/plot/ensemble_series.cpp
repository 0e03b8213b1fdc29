#include "tools/plot/ensemble_series.hpp"

#include <cmath>

namespace {

std::optional<double> to_double(const std::optional<Real>& value) {
  if (!value) return std::nullopt;
  return static_cast<double>(*value);
}

// A value that a double holds only as infinity (1e4000) is beyond the axis,
// not infinite.
bool beyond(const std::optional<Real>& value) { return value && std::isfinite(*value) && std::fabs(*value) > AxisLimit; }

bool drawable_rate(const std::optional<double>& value) {
  return value && std::isfinite(*value) && *value > 0 && *value <= AxisLimit;
}

EnsemblePoint ensemble_point(const ColumnResult& column) {
  EnsemblePoint point;
  point.damping = static_cast<double>(column.damping);
  point.fresh = *column.members - 1;
  point.ensemble.damping = point.damping;
  point.ensemble.absent = !column.ensemble_exponent;
  point.ensemble.exponent = column.ensemble_exponent ? static_cast<double>(*column.ensemble_exponent) : NAN;
  point.ensemble.beyond = beyond(column.ensemble_exponent);
  point.ensemble.standard_error = to_double(column.ensemble_standard_error);
  point.member0 = plot_point(column);
  point.member0.standard_error.reset();
  const std::optional<std::int32_t> ended[MemberEndCount] = {column.ended_chaotic, column.ended_settled,
                                                             column.ended_captured, column.ended_stalled};
  const std::optional<Real> lows[MemberEndCount] = {column.chaotic_share_low, column.settled_share_low,
                                                    column.captured_share_low, std::nullopt};
  const std::optional<Real> highs[MemberEndCount] = {column.chaotic_share_high, column.settled_share_high,
                                                     column.captured_share_high, std::nullopt};
  point.shares_given = ended[0] && ended[1] && ended[2];
  for (int e = 0; e < MemberEndCount; ++e) {
    EndShare& share = point.shares[static_cast<std::size_t>(e)];
    share.value = point.fresh > 0 ? static_cast<double>(ended[e].value_or(0)) / point.fresh : 0;
    share.low = to_double(lows[e]);
    share.high = to_double(highs[e]);
  }
  point.rate = to_double(column.escape_rate);
  point.rate_low = to_double(column.escape_rate_low);
  point.rate_high = to_double(column.escape_rate_high);
  point.rate_beyond = beyond(column.escape_rate ? column.escape_rate : column.escape_rate_high);
  return point;
}

std::string columns_with(std::size_t n, const std::string& what) {
  return std::to_string(n) + (n == 1 ? " column " : " columns ") + what;
}

}  // namespace

bool load_ensemble_series(const std::string& path, EnsembleSeries& series, std::string& error) {
  const std::optional<std::vector<ColumnResult>> columns = load_columns(path, error);
  if (!columns) return false;
  series = EnsembleSeries{path, {}, 0};
  for (const ColumnResult& column : *columns) {
    // One member is a column of its own trajectory: there is no ensemble.
    if (column.members && *column.members > 1) {
      series.points.push_back(ensemble_point(column));
    } else {
      ++series.plain_columns;
    }
  }
  return true;
}

RateMark rate_mark(const EnsemblePoint& point) {
  if (!std::isfinite(point.damping)) return RateMark::None;
  if (point.rate_beyond) return RateMark::None;
  if (point.rate) return drawable_rate(point.rate) ? RateMark::Rate : RateMark::None;
  return drawable_rate(point.rate_high) ? RateMark::Bound : RateMark::None;
}

bool shares_drawable(const EnsemblePoint& point) {
  if (!point.shares_given || point.fresh <= 0 || !std::isfinite(point.damping)) return false;
  double sum = 0;
  for (const EndShare& share : point.shares) {
    if (share.value < 0) return false;
    sum += share.value;
  }
  return sum <= 1 + 1e-9;
}

bool any_drawable(const EnsemblePoint& point) {
  return is_drawable(point.ensemble) || is_drawable(point.member0) || shares_drawable(point) ||
         rate_mark(point) != RateMark::None;
}

std::vector<std::string> ensemble_left_out(const EnsembleSeries& series) {
  std::size_t damping = 0, ensemble_bad = 0, ensemble_beyond = 0, member_bad = 0, member_beyond = 0;
  std::size_t rate_bad = 0, rate_beyond = 0, rate_low = 0, ends = 0;
  for (const EnsemblePoint& p : series.points) {
    if (!std::isfinite(p.damping)) {
      ++damping;
      continue;
    }
    if (is_left_out(p.ensemble)) ++(is_beyond_axis(p.ensemble) ? ensemble_beyond : ensemble_bad);
    if (is_left_out(p.member0)) ++(is_beyond_axis(p.member0) ? member_beyond : member_bad);
    const std::optional<double>& shown = p.rate ? p.rate : p.rate_high;
    if (shown && rate_mark(p) == RateMark::None) {
      if (p.rate_beyond) ++rate_beyond;
      else if (!std::isfinite(*shown)) ++rate_bad;
      else ++rate_low;
    }
    if (p.shares_given && !shares_drawable(p)) ++ends;
  }
  std::vector<std::string> why;
  const std::string wide = " beyond 1e307 in magnitude, which no axis can span with the others";
  if (series.plain_columns > 0 && !series.points.empty())
    why.push_back(columns_with(series.plain_columns, "without ensemble fields"));
  if (damping > 0) why.push_back(columns_with(damping, "with a non-finite damping"));
  if (ensemble_bad > 0) why.push_back(columns_with(ensemble_bad, "with a non-finite ensemble_exponent"));
  if (ensemble_beyond > 0) why.push_back(columns_with(ensemble_beyond, "with an ensemble_exponent" + wide));
  if (member_bad > 0) why.push_back(columns_with(member_bad, "with a non-finite exponent of member 0"));
  if (member_beyond > 0) why.push_back(columns_with(member_beyond, "with an exponent of member 0" + wide));
  if (rate_bad > 0) why.push_back(columns_with(rate_bad, "with a non-finite escape_rate"));
  if (rate_beyond > 0) why.push_back(columns_with(rate_beyond, "with an escape_rate" + wide));
  if (rate_low > 0)
    why.push_back(columns_with(rate_low, "with an escape_rate of 0 or below, which a logarithmic axis cannot show"));
  if (ends > 0) why.push_back(columns_with(ends, "with more ends than fresh members"));
  return why;
}
