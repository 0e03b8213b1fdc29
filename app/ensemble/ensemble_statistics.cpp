#include "app/ensemble/ensemble_statistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <boost/math/special_functions/gamma.hpp>

Interval WilsonInterval(int successes, int trials) {
  if (trials <= 0) return {0, 1};
  const double n = trials;
  const double p = std::clamp(successes, 0, trials) / n;
  const double z2 = IntervalZ * IntervalZ;
  const double scale = 1 / (1 + z2 / n);
  const double centre = (p + z2 / (2 * n)) * scale;
  const double half = IntervalZ * scale * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n));
  // At 0 or all successes one end is exactly the bound; rounding would
  // leave it a hair off.
  Interval i{std::max(0.0, centre - half), std::min(1.0, centre + half)};
  if (successes <= 0) i.low = 0;
  if (successes >= trials) i.high = 1;
  return i;
}

RateEstimate PoissonRate(int events, double exposure) {
  RateEstimate e;
  e.events = std::max(events, 0);
  e.exposure = exposure;
  if (!(exposure > 0)) {
    e.high = std::numeric_limits<double>::infinity();
    return e;
  }
  // chi2(p; 2k) / 2 is the p quantile of a unit-scale gamma of shape k.
  const int n = e.events;
  if (n > 0) {
    e.rate = n / exposure;
    e.low = boost::math::gamma_p_inv(double(n), 0.025) / exposure;
  }
  e.high = boost::math::gamma_p_inv(double(n + 1), 0.975) / exposure;
  return e;
}

std::optional<double> JackknifeRatioError(const std::vector<double>& sums, const std::vector<double>& times) {
  const std::size_t size = std::min(sums.size(), times.size());
  double total_sum = 0, total_time = 0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (!(times[i] > 0)) continue;
    total_sum += sums[i];
    total_time += times[i];
    ++n;
  }
  if (n < 2) return std::nullopt;
  std::vector<double> leave_one_out;
  leave_one_out.reserve(n);
  for (std::size_t i = 0; i < size; ++i) {
    if (times[i] > 0) leave_one_out.push_back((total_sum - sums[i]) / (total_time - times[i]));
  }
  double mean = 0;
  for (double r : leave_one_out) mean += r;
  mean /= double(n);
  double squares = 0;
  for (double r : leave_one_out) squares += (r - mean) * (r - mean);
  return std::sqrt(double(n - 1) / double(n) * squares);
}
