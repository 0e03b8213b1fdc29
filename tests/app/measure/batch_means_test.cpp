#include "app/measure/batch_means.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

TEST(BatchMeans, IndependentNormalsGiveSigmaOverRootN) {
  // Independent samples of standard deviation sigma: a block mean has
  // deviation sigma / sqrt(L), and the standard error of the mean of B
  // blocks is sigma / sqrt(L B). Its estimate from B blocks scatters by a
  // relative 1 / sqrt(2 (B - 1)); allow four times that.
  const double sigma = 3.0;
  const int length = 100, blocks = 400;
  for (unsigned seed : {1u, 2u, 3u}) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(0.7, sigma);
    BatchMeans batch;
    batch.block_length = length;
    for (int i = 0; i < length * blocks + 37; ++i) batch_add(batch, normal(rng));
    ASSERT_EQ(batch.blocks, blocks);
    const double expected = sigma / std::sqrt(double(length) * blocks);
    const double tolerance = 4 * expected / std::sqrt(2.0 * (blocks - 1));
    ASSERT_TRUE(batch_standard_error(batch));
    EXPECT_NEAR(static_cast<double>(*batch_standard_error(batch)), expected, tolerance) << seed;
    EXPECT_NEAR(static_cast<double>(batch.mean), 0.7, 4 * expected);
  }
}

TEST(BatchMeans, ConstantStreamHasNoError) {
  BatchMeans batch;
  for (int i = 0; i < 5000; ++i) batch_add(batch, 2.5L);
  ASSERT_TRUE(batch_standard_error(batch));
  EXPECT_EQ(*batch_standard_error(batch), 0.0L);
  EXPECT_EQ(batch.mean, 2.5L);
}

TEST(BatchMeans, FewerThanTwoBlocksHaveNoError) {
  BatchMeans batch;
  for (int i = 0; i < 1999; ++i) batch_add(batch, i);
  EXPECT_EQ(batch.blocks, 1);
  EXPECT_FALSE(batch_standard_error(batch));
  batch_add(batch, 0);
  EXPECT_TRUE(batch_standard_error(batch));
}

}  // namespace
