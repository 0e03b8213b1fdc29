// Standard error of a column's exponent by batch means: the measured passes
// are cut into consecutive blocks; each block's mean of ln(growth) / TimeStep
// is one sample, and the standard error is the standard deviation of those
// means divided by the square root of their number. Unlike the spread of
// the running estimate, it reflects the scatter of the exponent itself.
#pragma once

#include <cstdint>
#include <optional>

#include "runtime/real.hpp"

struct BatchMeans {
  std::int32_t block_length = 1000;
  // Running block and Welford's sums over the finished block means.
  Real block_sum = 0;
  std::int32_t in_block = 0;
  std::int32_t blocks = 0;
  Real mean = 0;
  Real squares = 0;  // sum of squared deviations from the mean
};

// Adds one sample (ln r / TimeStep of a measured pass).
void batch_add(BatchMeans& batch, Real sample);
// Standard error of the mean over the finished blocks; none below 2 blocks.
std::optional<Real> batch_standard_error(const BatchMeans& batch);
