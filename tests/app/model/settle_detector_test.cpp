// The settling detector: on synthetic growth with a known switch from chaos
// to regular motion, on a laminar phase that ends, and on the model itself
// (a committed state shortly before a settling that was observed, and a
// committed chaotic state over a long stretch).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "app/measure/flow_pass.hpp"
#include "app/model/settle_detector.hpp"
#include "flow_reference.hpp"

namespace {

constexpr double Interval = 0.01;
constexpr double Sigma = 0.5;

// Growth per pass: chaos at `rate` with a scatter of 0.5 per unit block
// (Sigma), or a regular orbit whose log growth swings by
// `swing` over a period of 3 units, with no trend.
struct Course {
  double chaos_until;   // model time of the switch (negative: regular throughout)
  double regular_until;  // then chaos again (or never)
  double rate;
  double swing = 2;
};

std::vector<SettleEvent> run(const Course& c, double length, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::normal_distribution<double> noise(0, Sigma / 10);
  SettleDetector detector(Interval);
  std::vector<SettleEvent> events;
  const long passes = std::lround(length / Interval);
  for (long p = 1; p <= passes; ++p) {
    const double t = p * Interval;
    const bool chaotic = t <= c.chaos_until || t > c.regular_until;
    const double g = chaotic ? c.rate * Interval + noise(random)
                             : c.swing * (std::sin(2 * M_PI * t / 3) - std::sin(2 * M_PI * (t - Interval) / 3));
    if (auto e = detector.observe(g)) events.push_back(*e);
    if (!events.empty() && events.back().kind == SettleEvent::Kind::Settled) break;
  }
  return events;
}

int count(const std::vector<SettleEvent>& events, SettleEvent::Kind kind) {
  int n = 0;
  for (const SettleEvent& e : events) n += e.kind == kind;
  return n;
}

const SettleEvent* settled(const std::vector<SettleEvent>& events) {
  for (const SettleEvent& e : events) {
    if (e.kind == SettleEvent::Kind::Settled) return &e;
  }
  return nullptr;
}

// The walk back overshoots into chaos at rate l by n units at most where
// l n / 2 - z Sigma sqrt(n) = allowance (z = 3: the scatter of n blocks),
// and a block; it cannot start after the switch by more than a block, where
// the regular swing stays inside the allowance.
double Overshoot(double rate) {
  const double z = 3 * Sigma;
  const double root = (z + std::sqrt(z * z + 2 * rate * SettleAllowance)) / rate;
  return root * root + SettleBlock;
}

TEST(SettleDetector, FindsTheEndOfTheChaosWithinItsBound) {
  const struct {
    double switch_at, rate, swing;
  } cases[] = {{300, 1.2, 2}, {300, 0.5, 2}, {1500, 0.8, 1}, {80, 1.5, 2.5}};
  for (const auto& c : cases) {
    for (std::uint64_t seed = 1; seed <= 5; ++seed) {
      const auto events = run({c.switch_at, 1e9, c.rate, c.swing}, c.switch_at + 1000, seed);
      const SettleEvent* e = settled(events);
      ASSERT_NE(e, nullptr) << "switch " << c.switch_at << " rate " << c.rate << " seed " << seed;
      const double start = e->start * Interval;
      EXPECT_GE(start, c.switch_at - Overshoot(c.rate)) << c.rate << " seed " << seed;
      EXPECT_LE(start, c.switch_at + SettleBlock) << c.rate << " seed " << seed;
      EXPECT_EQ(count(events, SettleEvent::Kind::Laminar), 0);
      EXPECT_NEAR(e->regular_exponent, 0, 0.03);
      ASSERT_TRUE(e->regular_standard_error.has_value());
      // Declared after the window and the certification.
      EXPECT_NEAR((e->declared - e->window) * Interval, SettleCertification, 0.011);
    }
  }
}

TEST(SettleDetector, RegularFromTheStartSettlesAtTheFirstSample) {
  const auto events = run({-1, 1e9, 0}, 400, 1);
  const SettleEvent* e = settled(events);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->start, 1);
}

// A laminar phase of 60 or 150 units, then chaos again: suspected, then
// called laminar, never settled; and no false suspicion in steady chaos at
// the lowest rate of the chaotic band, 0.6.
TEST(SettleDetector, ALaminarPhaseThatEndsIsNoSettling) {
  for (const double laminar : {60.0, 150.0}) {
    const auto events = run({200, 200 + laminar, 0.8}, 1500, 3);
    EXPECT_EQ(count(events, SettleEvent::Kind::Settled), 0) << laminar;
    EXPECT_EQ(count(events, SettleEvent::Kind::Suspected), 1) << laminar;
    ASSERT_EQ(count(events, SettleEvent::Kind::Laminar), 1) << laminar;
  }
  EXPECT_TRUE(run({1e9, 1e9, 0.6}, 5000, 4).empty());
}

TEST(SettleDetector, TheSuspectedPhaseAtATrajectorysEndIsJudgedOnWhatWasSeen) {
  SettleDetector detector(Interval);
  for (int p = 0; p < 5000; ++p) detector.observe(0.012);  // chaos at 1.2
  for (int p = 0; p < 5000; ++p) detector.observe(0);
  ASSERT_TRUE(detector.suspecting());
  const auto e = detector.pending();
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->kind, SettleEvent::Kind::Settled);
  // Steady chaos at 1.2: the walk back overshoots by allowance / 0.6 units.
  EXPECT_GE(e->start * Interval, 50 - SettleAllowance / 0.6 - SettleBlock);
  EXPECT_LE(e->start * Interval, 50 + SettleBlock);
}

// A state of a fresh trajectory at damping 0.24: started from it, the flow
// engine's chaos ends 56 units later (the slope of the log growth falls
// there from 1.8 to 0.25, and to nothing by 118).
const double SettlingState[StateSize] = {
    -0x1.672db4bb0b3bp-2,  -0x1.1def8838950a1p-1, -0x1.cd28e0bfcf73dp-3, -0x1.50294265a58fp+0,
    0x1.03314e0892eb1p+1,  -0x1.e78b570d85a3bp-3, 0x1.0221d1bdfdbfp-2,   0x1.feaa48fad006ap-2,
    -0x1.e3305c2f6b678p-1, -0x1.1340ebd2c728ap+0, -0x1.71ba046330a73p-1, -0x1.5d3aa1bdfd016p-2,
    0x1.3d91f347773e6p-5,  0x1.7f3facb13d817p-2,  -0x1.8e37765bc7f46p+0, 0x1.ceb4c6b2155e9p-4,
    0x1.33836811fe9a4p-4,  -0x1.4059c5c3fd4c6p+0, 0x1.110f4f6b5f35p+0,   -0x1.162792031f914p-3,
    0x1.5be4606b78fdep-1,  0x1.de1330508dcd4p-3,  -0x1.f32ac68ec25d2p+0, -0x1.4a3686cdc4a3ep+0,
    -0x1.bd6966d5b1302p-1, -0x1.7de0de0138ce1p-4, 0x1.45510213a69edp-6,  0x1.50cabe08c829fp-1,
    0x1.a07b3d4342942p-3,  0x1.81524a114fadep-1,  -0x1.331fd5f3ccc67p+2, -0x1.33f398a77ab2fp+1};

// The flow engine's passes from a state, each pass's tangent growth fed to
// a detector, until it settles or `passes` have gone.
std::vector<SettleEvent> watch(double damping, const FlockState& start, long passes) {
  FlowPass flow;
  StartFlow(flow, FlockModel{damping}, start, FlowDefaultTolerance);
  ColumnPass pass;
  pass.flow = true;
  pass.Iteration = 10 * BufferLength;
  SettleDetector detector(Interval);
  std::vector<SettleEvent> events;
  for (long p = 0; p < passes; ++p) {
    if (!AdvanceFlow(flow)) break;
    Real exponent = 0, divergence = 0;
    MeasuredGrowth growth;
    FinishFlowPass(pass, flow, exponent, divergence, &growth);
    if (auto e = detector.observe(static_cast<double>(growth.log_growth))) {
      events.push_back(*e);
      if (e->kind == SettleEvent::Kind::Settled) break;
    }
  }
  return events;
}

TEST(SettleDetector, FiresWhereTheModelSettled) {
  FlockState start{};
  for (int i = 0; i < StateSize; ++i) start[i + 1] = SettlingState[i];
  const auto events = watch(0.24, start, 60000);
  const SettleEvent* e = settled(events);
  ASSERT_NE(e, nullptr);
  // The chaos at 1.8: an overshoot of at most 2 allowance / 1.8 units and a
  // block (its scatter is small beside its rate); 2 units either way for
  // reading the end off the slope.
  EXPECT_GE(e->start * Interval, 56 - 2 - 2 * SettleAllowance / 1.8 - SettleBlock);
  EXPECT_LE(e->start * Interval, 56 + 2 + SettleBlock);
  EXPECT_LT(std::fabs(e->regular_exponent), 3 * e->regular_standard_error.value_or(0));
}

// The committed chaotic state (damping 0.4025) over 2000 units: not even a
// suspicion.
TEST(SettleDetector, NeverFiresInTheChaoticBand) {
  EXPECT_TRUE(watch(0.4025, flow_test::checkpoint_state(), 200000).empty());
}

}  // namespace
