// The spectrum engine against the flow engine and the model's symmetries:
// its state the flow engine's pass by pass, bit for bit, on every vector
// target; the rotation of a trajectory carried as its tangent; the spectrum
// of bodies far apart; the sum against the trace; the largest exponent
// against the flow engine's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstring>
#include <string>
#include <vector>

#include "app/lanes/batch_kernels.hpp"
#include "app/measure/flow_pass.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/flow_reference.hpp"
#include "app/spectrum/spectrum_measure.hpp"

namespace {

const double Span = static_cast<double>(TimeStep);

bool same(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::vector<double> committed(const char* name) {
  const FlockState s = flow_test::checkpoint_state(name);
  std::vector<double> state(StateSize);
  for (int i = 0; i < StateSize; ++i) state[i] = static_cast<double>(s[i + 1]);
  return state;
}

// The chaotic band's state with every body shifted in x so that body 1 is
// just short of Pi and on its way there: it folds within a few passes.
std::vector<double> about_to_fold() {
  std::vector<double> state = committed("after_column_372");
  const double shift = 3.1 - state[0];
  for (int b = 0; b <= FlockBodies; ++b) state[ComponentsPerBody * b] += shift;
  state[2] = std::fabs(state[2]) + 2;
  return state;
}

struct Course {
  const char* what;
  std::vector<double> state;
  double damping;
  int tangents;
  int passes;
  bool folds;
};

// Pass by pass, the state, the accepted and refused steps and the end of
// the flow engine's run, whatever the tangents and however often they are
// orthonormalised; folds included.
TEST(SpectrumEngine, StateIsTheFlowEnginesBitForBit) {
  const Course courses[] = {
      {"chaotic band", committed("after_column_372"), 0.4025, 32, 1500, false},
      {"capture band", committed("after_column_132"), 0.10125, 6, 1500, false},
      {"a runaway pair", committed("after_column_90"), 0.05, 1, 800, false},
      {"folds", about_to_fold(), 0.4025, 9, 400, true},
  };
  for (const Course& c : courses) {
    FlowPass flow;
    FlockState start{};
    for (int i = 0; i < StateSize; ++i) start[i + 1] = c.state[i];
    StartFlow(flow, FlockModel{c.damping}, start, FlowDefaultTolerance);
    ColumnPass pass;
    pass.flow = true;
    SpectrumEngine engine;
    SpectrumStart(engine, c.state.data(), c.tangents, c.damping, FlowDefaultTolerance, Span);
    double lengths[SpectrumMostTangents];
    for (int p = 1; p <= c.passes; ++p) {
      ++pass.Iteration;
      const bool flow_ok = AdvanceFlow(flow);
      const bool ok = SpectrumPass(engine, Span);
      ASSERT_EQ(ok, flow_ok) << c.what << " pass " << p;
      ASSERT_EQ(engine.steps, flow.engine.steps) << c.what << " pass " << p;
      ASSERT_EQ(engine.rejected, flow.engine.rejected) << c.what << " pass " << p;
      for (int i = 0; i < StateSize; ++i) ASSERT_TRUE(same(engine.x[i], flow.engine.x[i])) << c.what << " pass " << p;
      if (!ok) break;
      Real exponent = 0, divergence = 0;
      FinishFlowPass(pass, flow, exponent, divergence);
      if (p % (1 + p % 7) == 0) SpectrumOrthonormalise(engine, lengths);
    }
    EXPECT_EQ(engine.folds > 0, c.folds) << c.what;
  }
}

// The whole measurement on every target the machine runs: the best
// target's bits, exponents and all.
TEST(SpectrumEngine, SameBitsOnEveryTarget) {
  const std::vector<double> state = committed("after_column_372");
  for (const int tangents : {9, 32}) {
    SpectrumSettings settings;
    settings.tangents = tangents;
    settings.transient = 99;
    settings.block = 100;
    const SpectrumRun best = MeasureSpectrum(state.data(), 0.4025, 300, settings);
    for (const BatchTarget& target : BatchTargets()) {
      const SpectrumRun run = MeasureSpectrum(state.data(), 0.4025, 300, settings, TangentKernelsFor(target.target));
      ASSERT_EQ(run.steps, best.steps) << target.name;
      for (int k = 0; k < tangents; ++k) {
        ASSERT_EQ(run.summary.exponents[k], best.summary.exponents[k]) << target.name << " exponent " << k + 1;
        ASSERT_EQ(run.summary.errors[k], best.summary.errors[k]) << target.name << " exponent " << k + 1;
      }
      ASSERT_TRUE(same(run.summary.kaplan_yorke, best.summary.kaplan_yorke)) << target.name;
    }
  }
}

// The generator of rotations at a state: each body's position and velocity
// turned by a right angle.
std::vector<double> turned(const double* state) {
  std::vector<double> r(StateSize);
  for (int b = 0; b <= FlockBodies; ++b) {
    const double* s = state + ComponentsPerBody * b;
    double* v = r.data() + ComponentsPerBody * b;
    v[0] = -s[1];
    v[1] = s[0];
    v[2] = -s[3];
    v[3] = s[2];
  }
  return r;
}

std::vector<double> rotated(const std::vector<double>& state, double angle) {
  std::vector<double> r(StateSize);
  const double c = std::cos(angle), s = std::sin(angle);
  for (int i = 0; i < StateSize; i += 2) {
    r[i] = c * state[i] - s * state[i + 1];
    r[i + 1] = s * state[i] + c * state[i + 1];
  }
  return r;
}

// Rotations are a symmetry of the model: the trajectory of a rotated state
// is the rotated trajectory, so the tangent of that family, taken by
// central differences of two trajectories turned by +-1e-5, is the rotation
// generator at the trajectory's state, and the engine carries it there.
// Over 1 unit at tolerance 1e-12 the trajectories' errors reach the
// difference at 1e-12 / 1e-5 of the state, its truncation 1e-10; the
// carried tangent's own error is that of the integration. A wrong entry of
// the Jacobian moves the carried tangent by its own order.
TEST(SpectrumEngine, RotationIsCarriedAsTheTangentOfTheRotatedTrajectory) {
  const double tolerance = 1e-12, angle = 1e-5, damping = 0.4025;
  const std::vector<double> start = committed("after_column_372");
  const auto run = [&](const std::vector<double>& from, SpectrumEngine& engine, const double* tangent) {
    SpectrumStart(engine, from.data(), 1, damping, tolerance, Span);
    double length = 1;
    if (tangent) {
      for (int c = 0; c < StateSize; ++c) Tangent(engine, 0, c) = tangent[c];
      SpectrumOrthonormalise(engine, &length);
    }
    for (int p = 0; p < 100; ++p) EXPECT_TRUE(SpectrumPass(engine, Span));
    EXPECT_EQ(engine.folds, 0);
    return length;
  };
  const std::vector<double> generator = turned(start.data());
  SpectrumEngine along, up, down;
  const double length = run(start, along, generator.data());
  run(rotated(start, angle), up, nullptr);
  run(rotated(start, -angle), down, nullptr);
  const std::vector<double> now = turned(along.x);
  double size = 0;
  for (double v : now) size = std::fmax(size, std::fabs(v));
  for (int c = 0; c < StateSize; ++c) {
    const double carried = Tangent(along, 0, c) * length;
    const double differences = (up.x[c] - down.x[c]) / (2 * angle);
    EXPECT_NEAR(carried, now[c], 1e-9 * size) << c;
    EXPECT_NEAR(differences, now[c], 1e-5 * size) << c;
  }
}

// Every body 1e4 from every other, at rest, is as good as linear: each
// body's position and velocity obey x' = v, v' = -gamma v plus forces whose
// derivatives are of order 1/(0.3 r^2), so the spectrum is 16 zeros (the
// positions), 14 of -D/0.3 (the flock's velocities) and 2 of -0.5 (the
// chaser's), in falling order. The forces' derivatives, at most e (the
// largest row sum of the acceleration's blocks), move a zero exponent by
// at most e / gamma (the positions' slow motion under the drags) and a
// drag's by as much; twice that allows for the drift of the distances.
// The drags' eigenvectors, (1, 0) and (1, -gamma), are far from
// orthogonal, so tangents not yet aligned with them bias a finite run's
// exponents by ln(cond) / T, 7e-4 after a transient of 10 units at D =
// 0.075: a transient of 100 units leaves e^(-0.25 100) of it, and 1e-6
// covers that and the roundings. Over the 200 units the bodies move by
// less than 1, so body 1 stays clear of its folds.
TEST(SpectrumMeasure, BodiesFarApartGiveTheDragsAndZeros) {
  std::vector<double> state(StateSize, 0.0);
  for (int b = 1; b <= FlockBodies; ++b) {
    state[ComponentsPerBody * b] = 1e4 * b;
    state[ComponentsPerBody * b + 1] = 1e4 * (3 * b % 7);
  }
  for (const double damping : {0.075, 0.6}) {
    double rates[StateSize];
    JacobianTerms terms;
    StateRatesAndTerms(damping, state.data(), rates, terms);
    std::vector<double> rows(FlockBodies + 1, 0.0);
    const auto add = [&rows](int body, const Block2& m, double share) {
      rows[body] += share * (std::fabs(m.xx) + std::fabs(m.xy) + std::fabs(m.yy));
    };
    for (int i = 0; i < FlockBodies; ++i) {
      add(i, terms.chaser[i], 2);
      add(FlockBodies, terms.chaser[i], 2 * ChaserShare);
    }
    for (int p = 0; p < flow_model::Pairs; ++p) {
      add(flow_model::PairList[p].i, terms.pair[p], 2);
      add(flow_model::PairList[p].j, terms.pair[p], 2);
    }
    double largest = 0;
    for (double r : rows) largest = std::fmax(largest, r);
    const double flock = damping * flow_model::InverseFlockMass, chaser = flow_model::ChaserDrag;
    const double tolerance = 2 * largest / std::fmin(flock, chaser) + 1e-6;
    std::vector<double> want(16, 0.0);
    for (int k = 0; k < 16; ++k) want.push_back(k < 14 ? -flock : -chaser);
    std::sort(want.begin(), want.end(), std::greater<double>());
    SpectrumSettings settings;
    settings.transient = 9999;
    const SpectrumRun run = MeasureSpectrum(state.data(), damping, 10000, settings);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.folds, 0);
    for (int k = 0; k < SpectrumMostTangents; ++k)
      EXPECT_NEAR(run.summary.exponents[k], want[k], tolerance) << "damping " << damping << " exponent " << k + 1;
    EXPECT_LT(tolerance, 1e-5);
  }
}

// On a chaotic-band state, 20 units: the sum within its bound of the trace,
// both certificates passed, and the largest exponent that of the flow
// engine's tangent over the same passes, to within its standard error.
TEST(SpectrumMeasure, ChaoticBandSumIsTheTraceAndLargestIsTheFlowEngines) {
  const double damping = 0.4025;
  const std::vector<double> state = committed("after_column_372");
  SpectrumSettings settings;
  const int measured = 2000;
  const SpectrumRun run = MeasureSpectrum(state.data(), damping, measured, settings);
  ASSERT_TRUE(run.ok);
  const SpectrumSummary& s = run.summary;
  EXPECT_TRUE(s.sum_checked);
  EXPECT_LE(std::fabs(s.sum - s.trace), s.sum_bound);
  EXPECT_TRUE(s.sum_ok);
  EXPECT_TRUE(s.zeros_ok);

  FlowPass flow;
  FlockState start{};
  for (int i = 0; i < StateSize; ++i) start[i + 1] = state[i];
  StartFlow(flow, FlockModel{damping}, start, FlowDefaultTolerance);
  ColumnPass pass;
  pass.flow = true;
  pass.model = FlockModel{damping};
  Real exponent = 0, divergence = 0;
  for (int p = 1; p <= settings.transient + measured; ++p) {
    ++pass.Iteration;
    ASSERT_TRUE(AdvanceFlow(flow));
    FinishFlowPass(pass, flow, exponent, divergence);
  }
  ASSERT_EQ(pass.MeasuredSteps, measured);
  const std::optional<Real> error = batch_standard_error(pass.batch);
  ASSERT_TRUE(error.has_value());
  EXPECT_NEAR(s.exponents[0], exponent, *error);
  EXPECT_NEAR(s.errors[0], *error, 0.01 * *error);
}

// At D = 0.15 every body has the same drag, 0.5, and a shift of all
// positions and all velocities alike (the flow engine's diagonal tangent)
// stays in a subspace of exponent 0 exactly; the spectrum's tangents start
// off it and find the motion chaotic.
TEST(SpectrumMeasure, EqualDragsDoNotHideTheLargestExponent) {
  const std::vector<double> state = committed("after_column_372");
  SpectrumSettings settings;
  settings.tangents = 1;
  const SpectrumRun run = MeasureSpectrum(state.data(), 0.15, 2000, settings);
  ASSERT_TRUE(run.ok);
  EXPECT_GT(run.summary.exponents[0], 0.2);
  EXPECT_FALSE(run.summary.zeros_checked);
}

// In exact arithmetic the product of the triangular factors does not depend
// on how often they are taken: the exponents measured with an
// orthonormalisation every pass, every 10 and every 50 agree to roundings.
TEST(SpectrumMeasure, ExponentsDoNotDependOnTheInterval) {
  const std::vector<double> state = committed("after_column_372");
  SpectrumSettings settings;
  settings.interval = 1;
  const SpectrumRun every = MeasureSpectrum(state.data(), 0.4025, 2000, settings);
  for (const int interval : {10, 50}) {
    settings.interval = interval;
    const SpectrumRun run = MeasureSpectrum(state.data(), 0.4025, 2000, settings);
    for (int k = 0; k < SpectrumMostTangents; ++k) {
      EXPECT_NEAR(run.summary.exponents[k], every.summary.exponents[k], 1e-9) << interval << " exponent " << k + 1;
      EXPECT_NEAR(run.summary.errors[k], every.summary.errors[k], 1e-9) << interval << " exponent " << k + 1;
    }
  }
}

TEST(SpectrumMeasure, KaplanYorkeDimension) {
  const struct {
    std::vector<Real> falling;
    Real want;
  } cases[] = {
      {{1, 0, -2}, 2.5L},          // 2 + 1 / 2
      {{0.5L, 0.5L, -0.25L, -1}, 3.75L},
      {{-1, -2}, 0},               // contracting from the first
      {{0, 0, -1}, 2},             // zeros count whole
      {{2, -1, -1, -1}, 3},        // the sum is 0 after three
  };
  for (const auto& c : cases)
    EXPECT_NEAR(KaplanYorke(c.falling.data(), static_cast<int>(c.falling.size())), c.want, 1e-15L) << c.want;
  // Beyond the exponents measured: none, but for all 32.
  const std::vector<Real> growing = {1, 0.5L};
  EXPECT_TRUE(std::isnan(KaplanYorke(growing.data(), 2)));
  const std::vector<Real> all(32, 0.0L);
  EXPECT_EQ(KaplanYorke(all.data(), 32), 32);
}

// A regular orbit's spectrum: four exponents zero within their errors,
// two of them a little below 0, then a negative one. The plain formula
// gives 3 (3 + 0 / 1e-4); the summary, its zeros set to 0, the 4 of the
// orbit and its three symmetries, and so does every block.
TEST(SpectrumMeasure, ZerosWithinTheirErrorsEnterTheDimensionAsZeros) {
  SpectrumSettings settings;
  settings.tangents = 5;
  SpectrumSums sums;
  sums.tangents = 5;
  const Real centre[] = {-1e-4L, 2e-5L, 1e-5L, -3e-5L, -0.05L};
  for (int b = 0; b < 10; ++b) {
    std::array<Real, SpectrumMostTangents> block{};
    for (int k = 0; k < 5; ++k) block[k] = centre[k] + (b % 2 ? 1e-3L : -1e-3L);
    sums.blocks.push_back(block);
  }
  sums.measured_passes = 10 * settings.block;
  const Real time = static_cast<Real>(sums.measured_passes) * settings.span;
  for (int k = 0; k < 5; ++k) sums.log_sum[k] = centre[k] * time;
  const SpectrumSummary s = Summarise(sums, settings, 0.7, 1000);
  EXPECT_EQ(s.zero_exponents, 4);
  EXPECT_EQ(s.positive_exponents, 0);
  EXPECT_NEAR(s.kaplan_yorke, 4, 1e-12L);
  EXPECT_NEAR(s.kaplan_yorke_error, 0, 1e-12L);
  EXPECT_TRUE(s.zeros_checked);
  EXPECT_TRUE(s.zeros_ok);
  EXPECT_FALSE(s.sum_checked);
  std::vector<Real> plain(centre, centre + 5);
  std::sort(plain.begin(), plain.end(), std::greater<Real>());
  EXPECT_NEAR(KaplanYorke(plain.data(), 5), 3, 1e-12L);
}

}  // namespace
