#include "app/model/converged_estimate.hpp"

#include <cmath>
#include <limits>

#include "runtime/numeric.hpp"

void ConvergedEstimate(const Real* buffer, std::int32_t upper, Real& limit, Real& range) {
  if (upper < 0) {
    limit = std::numeric_limits<Real>::quiet_NaN();
    range = limit;
    return;
  }
  const std::int32_t m = to_integer(static_cast<Real>(upper) / 3);
  Real s1 = 0, s2 = 0, s3 = 0;
  for (std::int32_t i = 0; i <= m; ++i) s1 = s1 + buffer[i];
  for (std::int32_t i = m; i <= 2 * m; ++i) s2 = s2 + buffer[i];
  for (std::int32_t i = 2 * m; i <= upper; ++i) s3 = s3 + buffer[i];
  const Real count = static_cast<Real>(m) + 1;
  const Real a1 = s1 / count;
  const Real a2 = s2 / count;
  const Real a3 = s3 / count;

  if (std::fabs(a3 - a2) < std::fabs(a2 - a1)) {
    limit = ((2 * a1) * a3 - a2 * a1 - a3 * a2) / ((a1 - 2 * a2) + a3);
  } else {
    limit = ((a2 + a1) + a3) / 3;
  }

  Real low = limit, high = limit;
  for (std::int32_t i = 0; i <= upper; ++i) {
    if (buffer[i] < low) low = buffer[i];
    if (buffer[i] > high) high = buffer[i];
  }
  range = high - low;
}
