#include "app/measure/batch_means.hpp"

#include <cmath>

void batch_add(BatchMeans& batch, Real sample) {
  batch.block_sum += sample;
  if (++batch.in_block < batch.block_length) return;
  const Real block_mean = batch.block_sum / batch.block_length;
  batch.block_sum = 0;
  batch.in_block = 0;
  ++batch.blocks;
  const Real delta = block_mean - batch.mean;
  batch.mean += delta / batch.blocks;
  batch.squares += delta * (block_mean - batch.mean);
}

std::optional<Real> batch_standard_error(const BatchMeans& batch) {
  if (batch.blocks < 2) return std::nullopt;
  const Real variance = batch.squares / (batch.blocks - 1);
  return std::sqrt(variance / batch.blocks);
}
