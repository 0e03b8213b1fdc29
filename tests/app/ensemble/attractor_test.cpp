// The features of a regular attractor on synthetic motions whose features
// are known, seen through every symmetry of the model; the period of shape
// signals; and the clustering.
#include "app/ensemble/attractor.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double Pass = 0.01;
constexpr double TwoPi = 2 * M_PI;

// Seven flock bodies evenly on a ring of radius R (1 + breathing sin) that
// turns at ring_spin, a chaser at chaser_radius + wobble sin that circles
// the ring's centre at chaser_spin, the whole travelling at (vx, vy). The
// ring's centre is the flock's centroid, so the chaser's distance to it is
// its radius; the shape repeats when the chaser has passed one seventh of
// the ring and the breathing and wobble are through. An approach adds
// approach exp(-t / approach_time) to the chaser's radius from the watch's
// start: the orbit is reached as a settled member reaches its attractor.
struct Orbit {
  double ring_radius, ring_spin, chaser_radius, chaser_spin;
  double breathing = 0, breathing_period = 1, wobble = 0, wobble_period = 1;
  double vx = 0, vy = 0;
  double approach = 0, approach_time = 1;
};

// Where the states are seen from: a phase of the orbit, a mirror in the x
// axis, a rotation, a translation, and the flock bodies renumbered (body k
// of the state is body order[k] of the orbit).
struct Placement {
  double phase = 0;
  bool mirror = false;
  double angle = 0, shift_x = 0, shift_y = 0;
  std::array<int, 7> order = {0, 1, 2, 3, 4, 5, 6};
};

std::array<double, 32> StateAt(const Orbit& o, const Placement& p, double watched) {
  const double t = watched + p.phase;
  const double approach = o.approach * std::exp(-watched / o.approach_time);
  std::array<double, 4> bodies[8];
  const double cx = o.vx * t, cy = o.vy * t;
  const auto body = [&](double radius, double rate, double angle, double spin) {
    const double c = std::cos(angle), s = std::sin(angle);
    return std::array<double, 4>{cx + radius * c, cy + radius * s, o.vx + rate * c - radius * spin * s,
                                 o.vy + rate * s + radius * spin * c};
  };
  const double bw = TwoPi / o.breathing_period, ww = TwoPi / o.wobble_period;
  const double ring = o.ring_radius * (1 + o.breathing * std::sin(bw * t));
  const double ring_rate = o.ring_radius * o.breathing * bw * std::cos(bw * t);
  for (int k = 0; k < 7; ++k) bodies[k] = body(ring, ring_rate, o.ring_spin * t + TwoPi * k / 7, o.ring_spin);
  bodies[7] = body(o.chaser_radius + o.wobble * std::sin(ww * t) + approach,
                   o.wobble * ww * std::cos(ww * t) - approach / o.approach_time, o.chaser_spin * t, o.chaser_spin);
  std::array<double, 32> state;
  const double c = std::cos(p.angle), s = std::sin(p.angle);
  for (int k = 0; k < 8; ++k) {
    std::array<double, 4> b = bodies[k < 7 ? p.order[k] : 7];
    if (p.mirror) {
      b[1] = -b[1];
      b[3] = -b[3];
    }
    state[4 * k] = c * b[0] - s * b[1] + p.shift_x;
    state[4 * k + 1] = s * b[0] + c * b[1] + p.shift_y;
    state[4 * k + 2] = c * b[2] - s * b[3];
    state[4 * k + 3] = s * b[2] + c * b[3];
  }
  return state;
}

AttractorFeatures Watch(const Orbit& o, const Placement& p = {}, double length = 150) {
  AttractorWatch watch(Pass);
  const long passes = std::lround(length / Pass);
  for (long i = 0; i < passes; ++i) watch.add(StateAt(o, p, i * Pass).data());
  EXPECT_EQ(watch.size(), passes);
  return watch.features();
}

// A ring turning past a chaser that circles faster, the group travelling.
const Orbit Passing{1.2, 0.3, 2.5, 1.0, 0, 1, 0, 1, 0.05, 0.02};
// A breathing ring with a co-rotating chaser that wobbles in and out; the
// later half of the watch (75 units) is not a whole number of its periods.
const Orbit Breathing{1.0, 0.2, 2.0, 0.2, 0.05, 1.85, 0.2, 3.7};
// The same, reached from a chaser half a unit further out.
const Orbit Approaching{1.0, 0.2, 2.0, 0.2, 0.05, 1.85, 0.2, 3.7, 0, 0, 0.5, 8};

const Placement Placements[] = {
    {},
    {7.3, false, 1.1, 5, -3},
    {0, true, 0, 0, 0},
    {2.1, true, -0.4, -40, 12, {3, 6, 0, 2, 5, 1, 4}},
    {0, false, 2.9, 0.5, 0.25, {6, 5, 4, 3, 2, 1, 0}},
};

TEST(AttractorWatch, KnownOrbitsThroughEverySymmetry) {
  struct Row {
    const char* name;
    Orbit orbit;
    AttractorFeatures expected;
  };
  const Row rows[] = {
      {"passing", Passing, {TwoPi / (7 * (1.0 - 0.3)), 2.5, 1.2, std::hypot(0.05, 0.02), 0.3}},
      {"breathing", Breathing, {3.7, 2.0, 1.0, 0, 0.2}},
      {"approaching", Approaching, {3.7, 2.0, 1.0, 0, 0.2}},
  };
  for (const Row& r : rows) {
    for (const Placement& p : Placements) {
      const AttractorFeatures f = Watch(r.orbit, p);
      SCOPED_TRACE(testing::Message() << r.name << " phase " << p.phase << " mirror " << p.mirror << " angle " << p.angle);
      EXPECT_NEAR(f.period, r.expected.period, 1e-3 * r.expected.period);
      EXPECT_NEAR(f.chaser_distance, r.expected.chaser_distance, 1e-4);
      EXPECT_NEAR(f.flock_radius, r.expected.flock_radius, 1e-4);
      EXPECT_NEAR(f.drift_speed, r.expected.drift_speed, 1e-9);
      EXPECT_NEAR(f.spin, r.expected.spin, 1e-9);
      EXPECT_TRUE(SameAttractor(f, Watch(r.orbit)));
    }
  }
}

TEST(AttractorWatch, SteadyShapesHavePeriodZero) {
  // A configuration turning rigidly, one travelling without turning, and
  // one whose shape trembles by a part in 10^8.
  Orbit rigid{1.2, 0.4, 2.5, 0.4};
  Orbit travelling{1.2, 0, 2.5, 0, 0, 1, 0, 1, 0.03, -0.04};
  Orbit trembling{1.2, 0.4, 2.5, 0.4, 1e-8, 2.0};
  const AttractorFeatures a = Watch(rigid, Placements[3]);
  EXPECT_EQ(a.period, 0.0);
  EXPECT_NEAR(a.spin, 0.4, 1e-9);
  EXPECT_NEAR(a.chaser_distance, 2.5, 1e-9);
  EXPECT_NEAR(a.drift_speed, 0, 1e-12);
  const AttractorFeatures b = Watch(travelling, Placements[1]);
  EXPECT_EQ(b.period, 0.0);
  EXPECT_NEAR(b.spin, 0, 1e-12);
  EXPECT_NEAR(b.drift_speed, 0.05, 1e-12);
  EXPECT_EQ(Watch(trembling).period, 0.0);
  // Turning or not tells the two apart, shape alike.
  EXPECT_FALSE(SameAttractor(a, b));
}

TEST(AttractorWatch, EmptyWatchIsAllZero) {
  AttractorWatch watch;
  const AttractorFeatures f = watch.features();
  EXPECT_EQ(f.period, 0.0);
  EXPECT_EQ(f.chaser_distance, 0.0);
  EXPECT_EQ(watch.size(), 0);
  watch.add(StateAt(Passing, {}, 0).data());
  EXPECT_EQ(watch.size(), 1);
  watch.reset();
  EXPECT_EQ(watch.size(), 0);
}

// Signals of `length` model time, sampled each pass.
std::vector<double> Signal(double length, double (*f)(double)) {
  std::vector<double> v;
  for (long i = 0; i < std::lround(length / Pass); ++i) v.push_back(f(i * Pass));
  return v;
}

TEST(AttractorPeriod, ShapeSignals) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    const char* name;
    double (*f)(double);
    double period;
  };
  const Row rows[] = {
      {"sine", [](double t) { return 3 + std::sin(TwoPi * t / 2.37); }, 2.37},
      // Most of the swing at twice the frequency: the period is still the
      // fundamental's, not the near repetition at half of it.
      {"harmonic", [](double t) { return 5 + 0.1 * std::sin(TwoPi * t / 4.1) + std::sin(2 * TwoPi * t / 4.1); }, 4.1},
      {"short", [](double t) { return 2 + std::cos(TwoPi * t / 0.173); }, 0.173},
      {"long", [](double t) { return 2 + std::cos(TwoPi * t / 70.0); }, 70.0},
      // What is left of the approach to the orbit fades in the first half.
      {"approach", [](double t) { return 3 + std::sin(TwoPi * t / 2.0) + 0.3 * std::exp(-t / 30) * std::sin(1.7 * t); }, 2.0},
      {"constant", [](double) { return 1.7; }, 0},
      {"still after an approach", [](double t) { return 1.7 * (1 + 1e-3 * std::exp(-t / 8) * std::sin(3 * t)); }, 0},
      {"still within 1e-6", [](double t) { return 1.7 * (1 + 4e-7 * std::sin(t)); }, 0},
      {"beyond half the watch", [](double t) { return 2 + std::cos(TwoPi * t / 90.0); }, inf},
      {"torus", [](double t) { return 4 + std::sin(t) + std::sin(t * (1 + std::sqrt(5.0)) / 2); }, inf},
      {"ramp", [](double t) { return 1 + 0.01 * t; }, inf},
  };
  for (const Row& r : rows) {
    const std::vector<double> s = Signal(150, r.f);
    const double period = ShapePeriod({&s}, Pass);
    if (std::isfinite(r.period) && r.period > 0) {
      EXPECT_NEAR(period, r.period, 1e-3 * r.period) << r.name;
    } else {
      EXPECT_EQ(period, r.period) << r.name;
    }
  }
  // A still signal beside a moving one adds nothing; two moving ones give
  // their common period.
  const std::vector<double> still = Signal(150, rows[5].f), moving = Signal(150, rows[0].f);
  EXPECT_NEAR(ShapePeriod({&still, &moving}, Pass), 2.37, 1e-3 * 2.37);
  const std::vector<double> third = Signal(150, [](double t) { return 9 + std::sin(TwoPi * t / 2.37 * 3); });
  EXPECT_NEAR(ShapePeriod({&third, &moving}, Pass), 2.37, 1e-3 * 2.37);
}

TEST(AttractorCluster, SameWithinTolerance) {
  const AttractorFeatures base{2.0, 2.5, 1.2, 0.05, 0.3};
  struct Row {
    const char* name;
    AttractorFeatures other;
    bool same;
  };
  const Row rows[] = {
      {"itself", base, true},
      {"period 1.5 %", {2.03, 2.5, 1.2, 0.05, 0.3}, true},
      {"period 3 %", {2.06, 2.5, 1.2, 0.05, 0.3}, false},
      {"chaser 3 %", {2.0, 2.575, 1.2, 0.05, 0.3}, false},
      {"radius 3 %", {2.0, 2.5, 1.236, 0.05, 0.3}, false},
      {"drift 3 %", {2.0, 2.5, 1.2, 0.0515, 0.3}, false},
      {"spin 3 %", {2.0, 2.5, 1.2, 0.05, 0.309}, false},
      {"steady", {0, 2.5, 1.2, 0.05, 0.3}, false},
      {"no repetition", {std::numeric_limits<double>::infinity(), 2.5, 1.2, 0.05, 0.3}, false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(SameAttractor(base, r.other), r.same) << r.name;
    EXPECT_EQ(SameAttractor(r.other, base), r.same) << r.name;
  }
  // Near zero the floors decide: no drift and a drift of 1/2000 match.
  EXPECT_TRUE(SameAttractor({0, 2.5, 1.2, 0, 0}, {0, 2.5, 1.2, 5e-4, 5e-4}));
  EXPECT_FALSE(SameAttractor({0, 2.5, 1.2, 0, 0}, {0, 2.5, 1.2, 2e-3, 0}));
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(SameAttractor({inf, 2.5, 1.2, 0, 0}, {inf, 2.5, 1.2, 0, 0}));
}

TEST(AttractorCluster, LabelsInOrderOfFirstAppearance) {
  // The passing orbit with a wider chaser, and with a faster one (only the
  // period differs), are other attractors.
  Orbit wider = Passing, faster = Passing;
  wider.chaser_radius = 2.7;
  faster.chaser_spin = 1.1;
  const std::vector<AttractorFeatures> features = {
      Watch(Breathing),         Watch(Passing),      Watch(Passing, Placements[3]), Watch(wider),
      Watch(Breathing, Placements[2]), Watch(faster), Watch(Passing, Placements[1]),
  };
  const std::vector<int> expected = {0, 1, 1, 2, 0, 3, 1};
  EXPECT_EQ(ClusterAttractors(features), expected);
  EXPECT_EQ(ClusterAttractors(features), ClusterAttractors(features));
  EXPECT_EQ(ClusterAttractors(std::vector<AttractorFeatures>(features.rbegin(), features.rend())),
            (std::vector<int>{0, 1, 2, 3, 0, 0, 2}));
  EXPECT_TRUE(ClusterAttractors({}).empty());
}

TEST(AttractorCluster, NearMatchesDoNotChain) {
  // Each of these is within 2 % of its neighbour but the ends are not: the
  // third is compared with the first attractor's first member, not with
  // the second entry.
  const std::vector<AttractorFeatures> chain = {{0, 1.0, 1, 0, 0}, {0, 1.015, 1, 0, 0}, {0, 1.03, 1, 0, 0}, {0, 1.045, 1, 0, 0}};
  EXPECT_EQ(ClusterAttractors(chain), (std::vector<int>{0, 0, 1, 1}));
}

}  // namespace
