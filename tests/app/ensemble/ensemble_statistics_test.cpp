// The ensemble's statistics against closed forms and tabulated limits, and
// the escape rate's interval on synthetic censored exponential lifetimes.
#include "app/ensemble/ensemble_statistics.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

TEST(WilsonInterval, KnownValues) {
  // 0/n: the upper end is z^2 / (n + z^2); n/n mirrors it. The others are
  // the score interval worked out to four decimals.
  const double z2 = IntervalZ * IntervalZ;
  struct Row {
    int successes, trials;
    double low, high, tolerance;
  };
  const Row rows[] = {
      {0, 16, 0, z2 / (16 + z2), 1e-15},
      {16, 16, 16 / (16 + z2), 1, 1e-15},
      {8, 16, 0.2800, 0.7200, 5e-5},
      {1, 16, 0.0111, 0.2833, 5e-5},
      {3, 10, 0.1078, 0.6032, 5e-5},
      {0, 0, 0, 1, 0},
  };
  for (const Row& r : rows) {
    const Interval i = WilsonInterval(r.successes, r.trials);
    EXPECT_NEAR(i.low, r.low, r.tolerance) << r.successes << "/" << r.trials;
    EXPECT_NEAR(i.high, r.high, r.tolerance) << r.successes << "/" << r.trials;
  }
  // The ends that are bounds are the bounds exactly.
  EXPECT_EQ(WilsonInterval(0, 16).low, 0.0);
  EXPECT_EQ(WilsonInterval(16, 16).high, 1.0);
}

TEST(WilsonInterval, SymmetricAndOrdered) {
  for (int n : {1, 2, 7, 16, 64}) {
    for (int k = 0; k <= n; ++k) {
      const Interval a = WilsonInterval(k, n), b = WilsonInterval(n - k, n);
      EXPECT_NEAR(a.low, 1 - b.high, 1e-14) << k << "/" << n;
      EXPECT_LE(a.low, double(k) / n);
      EXPECT_GE(a.high, double(k) / n);
      EXPECT_GT(a.high, a.low);
    }
  }
}

TEST(PoissonRate, GarwoodLimits) {
  // Exact 95 % limits of a Poisson mean for n events (the published table,
  // four significant figures), divided by the exposure.
  struct Row {
    int events;
    double low, high;
  };
  const Row rows[] = {{0, 0, 3.6889}, {1, 0.02532, 5.5716}, {2, 0.2422, 7.2247}, {5, 1.6235, 11.668}, {10, 4.7954, 18.390}};
  for (double exposure : {1.0, 250.0, 16 * 2000.0}) {
    for (const Row& r : rows) {
      const RateEstimate e = PoissonRate(r.events, exposure);
      EXPECT_EQ(e.events, r.events);
      EXPECT_EQ(e.exposure, exposure);
      EXPECT_NEAR(e.low * exposure, r.low, 1e-4 * r.high) << r.events;
      EXPECT_NEAR(e.high * exposure, r.high, 1e-4 * r.high) << r.events;
      if (r.events == 0) {
        EXPECT_FALSE(e.rate);
        EXPECT_EQ(e.low, 0.0);
        EXPECT_NEAR(e.high, -std::log(0.025) / exposure, 1e-14 / exposure);
      } else {
        ASSERT_TRUE(e.rate);
        EXPECT_DOUBLE_EQ(*e.rate, r.events / exposure);
      }
    }
  }
}

TEST(PoissonRate, NoExposureBoundsNothing) {
  for (double exposure : {0.0, -3.0, std::numeric_limits<double>::quiet_NaN()}) {
    const RateEstimate e = PoissonRate(4, exposure);
    EXPECT_FALSE(e.rate);
    EXPECT_EQ(e.low, 0.0);
    EXPECT_EQ(e.high, std::numeric_limits<double>::infinity());
  }
}

// The jackknife spelled out: every leave-one-out ratio summed afresh.
double DirectJackknife(const std::vector<double>& s, const std::vector<double>& t) {
  std::vector<double> r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (t[i] <= 0) continue;
    double num = 0, den = 0;
    for (std::size_t j = 0; j < s.size(); ++j) {
      if (j != i && t[j] > 0) {
        num += s[j];
        den += t[j];
      }
    }
    r.push_back(num / den);
  }
  const double n = double(r.size());
  double mean = 0, squares = 0;
  for (double x : r) mean += x / n;
  for (double x : r) squares += (x - mean) * (x - mean);
  return std::sqrt((n - 1) / n * squares);
}

TEST(JackknifeRatioError, AgainstDirectComputation) {
  struct Row {
    std::vector<double> sums, times;
  };
  const Row rows[] = {
      {{1.2, 0.9, 3.1, 0.4}, {1.0, 0.8, 2.5, 0.3}},
      {{120, 310, 45, 980, 12}, {100, 260, 40, 800, 11}},
      // A member that escaped at once has no chaotic time and no weight.
      {{5, 7, 0, 2}, {4, 6, 0, 1.5}},
  };
  for (const Row& r : rows) {
    const auto se = JackknifeRatioError(r.sums, r.times);
    ASSERT_TRUE(se);
    EXPECT_NEAR(*se, DirectJackknife(r.sums, r.times), 1e-12 * (1 + *se));
  }
  // Two members: R_1 and R_2 are the other member's ratio, so the error is
  // half their difference.
  EXPECT_DOUBLE_EQ(*JackknifeRatioError({1, 6}, {1, 2}), 1.0);
  // Equal ratios: no scatter.
  EXPECT_EQ(*JackknifeRatioError({2, 4, 6}, {1, 2, 3}), 0.0);
}

TEST(JackknifeRatioError, NeedsTwoMembersWithTime) {
  EXPECT_FALSE(JackknifeRatioError({}, {}));
  EXPECT_FALSE(JackknifeRatioError({3}, {2}));
  EXPECT_FALSE(JackknifeRatioError({3, 1, 0}, {2, 0, 0}));
  EXPECT_TRUE(JackknifeRatioError({3, 1, 0}, {2, 0, 1}));
}

// Exponential lifetimes by inverse CDF from a 53-bit uniform in (0, 1], so
// that the draws are the same on every standard library.
double Lifetime(std::mt19937_64& random, double rate) {
  const double u = double((random() >> 11) + 1) * 0x1p-53;
  return -std::log(u) / rate;
}

TEST(EnsembleRateCoverage, CensoredExponentialLifetimes) {
  // Members that escape at `rate`, each watched for at most `budget`: the
  // exact interval must hold the true rate in at least 95 % of the
  // repetitions, less Monte-Carlo error (0.5 % here), and it is
  // conservative but not wildly so. The pooled estimate over all
  // repetitions is the MLE of the whole sample and must sit on the rate; a
  // single ensemble's MLE is biased upwards by about 1 / (expected events),
  // as n / sum of n lifetimes is by 1 / (n - 1).
  struct Row {
    double rate;
    int members;
    double budget;
  };
  const Row rows[] = {{1e-3, 16, 2000}, {1e-2, 16, 500}, {0.05, 64, 100}};
  const int repetitions = 2000;
  std::mt19937_64 random(20240611);
  for (const Row& r : rows) {
    int covered = 0, estimated = 0;
    double mean_rate = 0, all_events = 0, all_exposure = 0;
    for (int rep = 0; rep < repetitions; ++rep) {
      int events = 0;
      double exposure = 0;
      for (int m = 0; m < r.members; ++m) {
        const double life = Lifetime(random, r.rate);
        if (life < r.budget) {
          ++events;
          exposure += life;
        } else {
          exposure += r.budget;
        }
      }
      const RateEstimate e = PoissonRate(events, exposure);
      covered += e.low <= r.rate && r.rate <= e.high;
      if (e.rate) {
        ++estimated;
        mean_rate += *e.rate;
      }
      all_events += events;
      all_exposure += exposure;
    }
    const double coverage = double(covered) / repetitions;
    EXPECT_GE(coverage, 0.93) << r.rate << " " << r.members << " " << r.budget;
    EXPECT_LE(coverage, 0.985) << r.rate << " " << r.members << " " << r.budget;
    const double expected_events = r.members * (1 - std::exp(-r.rate * r.budget));
    EXPECT_NEAR(all_events / all_exposure / r.rate, 1, 3 / std::sqrt(repetitions * expected_events));
    ASSERT_GT(estimated, 0);
    mean_rate /= estimated;
    EXPECT_GT(mean_rate / r.rate, 1 - 0.01);
    EXPECT_LT(mean_rate / r.rate, 1 + 1.5 / expected_events);
  }
}

}  // namespace
