#include "app/model/gauss_deviate.hpp"

#include <gtest/gtest.h>

#include "runtime/random.hpp"

namespace {

void restart() { random_state() = RandomState{}; }

TEST(RndUniform, FirstStatesAndValues) {
  restart();
  const std::uint32_t states[] = {0xF7F77BFCu, 0x33A35BEDu, 0x84FEFFA2u};
  const double values[] = {0.96862006, 0.20171141, 0.51951596, 0.13224066};
  for (int i = 0; i < 4; ++i) {
    Real u = rnd_uniform();
    if (i < 3) {
      EXPECT_EQ(random_state().state, states[i]) << i;
    }
    // The values are given truncated to eight places.
    EXPECT_GE(static_cast<double>(u), values[i]) << i;
    EXPECT_LT(static_cast<double>(u), values[i] + 1e-8) << i;
    EXPECT_EQ(u * 0x1p31L, static_cast<Real>(random_state().last));  // an exact multiple of 2^-31
  }
}

TEST(GaussDeviate, FirstSixOfARun) {
  restart();
  const double expected[] = {-1.1043814, 0.63436376, 1.0906492, 0.72848912, 0.90834799, 0.51134286};
  for (double e : expected) EXPECT_NEAR(static_cast<double>(GaussDeviate()), e, 5e-7);
}

TEST(GaussDeviate, FirstCallRejectsOneTrial) {
  restart();
  GaussDeviate();
  // One rejected trial and one accepted: four uniforms drawn.
  RandomState after = random_state();
  restart();
  for (int i = 0; i < 4; ++i) rnd_uniform();
  EXPECT_EQ(after.state, random_state().state);
}

TEST(GaussDeviate, EveryCallUsesAnEvenNumberOfDraws) {
  restart();
  for (int i = 0; i < 200; ++i) GaussDeviate();
  // Replaying pairs of uniforms lands exactly on the state after 200 deviates.
  RandomState after = random_state();
  restart();
  int draws = 0;
  while (random_state().state != after.state && draws < 2000) {
    rnd_uniform();
    ++draws;
  }
  EXPECT_EQ(draws % 2, 0);
  EXPECT_GE(draws, 400);
}

}  // namespace
