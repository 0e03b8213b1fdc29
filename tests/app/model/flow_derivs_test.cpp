// The double right-hand side of the flow engine against the long-double
// model, and its Jacobian-vector product against central differences.
#include <gtest/gtest.h>

#include <cmath>

#include "app/model/flock_derivs.hpp"
#include "app/model/flock_terms.hpp"
#include "app/model/flow_derivs.hpp"
#include "model_test_support.hpp"

namespace {

using model_test::StateMaker;

// A typical state rounded to double, so both versions see the same numbers,
// then made awkward: `kind` 0 a pair 1e-3 apart, 1 a pair 1e-6 apart, 2 a
// body 1e-5 from the chaser, 3 a pair at distance 1 (where g cancels),
// 4 bodies 1e3 apart, 5 as it is.
void flow_state(StateMaker& make, int kind, Real* s) {
  make.typical(s);
  for (int i = 1; i <= StateSize; ++i) s[i] = static_cast<double>(s[i]);
  const int a = make.below(7);
  const int b = (a + 1 + make.below(6)) % 7;
  const Real gaps[] = {1e-3L, 1e-6L};
  switch (kind) {
    case 0:
    case 1:
      s[4 * b + 1] = static_cast<double>(s[4 * a + 1] + gaps[kind] * 0.6L);
      s[4 * b + 2] = static_cast<double>(s[4 * a + 2] - gaps[kind] * 0.8L);
      break;
    case 2:
      s[ChaserOffset + 1] = static_cast<double>(s[4 * a + 1] + 1e-5L);
      s[ChaserOffset + 2] = s[4 * a + 2];
      break;
    case 3:
      s[4 * b + 1] = s[4 * a + 1] + 0.6L;
      s[4 * b + 2] = s[4 * a + 2] + 0.8L;
      break;
    case 4:
      for (int k = 0; k < 8; ++k) s[4 * k + 1 + make.below(2)] *= 1e3L;
      break;
  }
  for (int i = 1; i <= StateSize; ++i) s[i] = static_cast<double>(s[i]);
}

// The size of the terms that make up each rate, before they cancel: a pair
// term counts both its parts, 1/d and 1/d^1.5. Each term of the double
// version carries at most a handful of roundings and each sum one per term,
// so every rate is within 32 double roundings of that size of the exact
// value; the long-double version's own error is 2^11 times smaller.
void term_sizes(Real damping, const Real* s, Real* size) {
  flock::FlockTerms t;
  flock::flock_terms(s, t);
  Real chaser_x = std::fabs(0.5L * s[ChaserOffset + 3]), chaser_y = std::fabs(0.5L * s[ChaserOffset + 4]);
  for (int i = 0; i < FlockBodies; ++i) {
    Real* r = size + ComponentsPerBody * i;
    r[1] = r[2] = 0;
    r[3] = std::fabs(damping * s[4 * i + 3] / 0.3L) + std::fabs(t.push_x[i]);
    r[4] = std::fabs(damping * s[4 * i + 4] / 0.3L) + std::fabs(t.push_y[i]);
    for (int j = 0; j < FlockBodies; ++j) {
      if (j == i) continue;
      const Real dx = s[4 * j + 1] - s[4 * i + 1], dy = s[4 * j + 2] - s[4 * i + 2];
      const Real d = dx * dx + dy * dy;
      const Real parts = (1 / d + 1 / (d * std::sqrt(d))) / 0.3L;
      r[3] += parts * std::fabs(dx);
      r[4] += parts * std::fabs(dy);
    }
    chaser_x += std::fabs(t.pull_x[i]);
    chaser_y += std::fabs(t.pull_y[i]);
  }
  size[ChaserOffset + 1] = size[ChaserOffset + 2] = 0;
  size[ChaserOffset + 3] = chaser_x;
  size[ChaserOffset + 4] = chaser_y;
}

TEST(FlowDerivs, AgreesWithFlockDerivsOnAwkwardStates) {
  const Real rounding = 0x1p-53L;
  for (int kind = 0; kind < 6; ++kind) {
    for (int seed = 1; seed <= 40; ++seed) {
      StateMaker make(1000 * kind + seed);
      Real s[StateSize + 1], want[StateSize + 1], size[StateSize + 1];
      flow_state(make, kind, s);
      const Real damping = static_cast<double>(make.uniform());
      FlockDerivs(FlockModel{damping}, s, want);
      term_sizes(damping, s, size);
      double x[StateSize], got[StateSize];
      for (int i = 0; i < StateSize; ++i) x[i] = static_cast<double>(s[i + 1]);
      FlowDerivs(static_cast<double>(damping), x, got);
      for (int i = 1; i <= StateSize; ++i) {
        EXPECT_LE(std::fabs(got[i - 1] - want[i]), 32 * rounding * size[i])
            << "component " << i << " kind " << kind << " seed " << seed << " got " << got[i - 1] << " want "
            << static_cast<double>(want[i]);
      }
    }
  }
}

TEST(FlowDerivs, JoinedStateHalfIsFlowDerivs) {
  StateMaker make(7);
  Real s[StateSize + 1];
  flow_state(make, 5, s);
  FlowVector joined, rates;
  double alone[StateSize];
  for (int i = 0; i < StateSize; ++i) {
    joined[i] = static_cast<double>(s[i + 1]);
    joined[StateSize + i] = static_cast<double>(make.normal(1));
  }
  FlowJoinedDerivs(0.3, joined.data(), rates.data());
  FlowDerivs(0.3, joined.data(), alone);
  for (int i = 0; i < StateSize; ++i) EXPECT_EQ(rates[i], alone[i]) << i;
}

// J v against (f(y + h v) - f(y - h v)) / 2h of the long-double model, with
// h = 1e-6: rounding of order 1e-19 / h, and truncation of order h^2 times
// the third derivative, which grows as r^-5 for a close pair: below 1e-6 of
// the rate down to r near 0.05. A wrong term is off by a factor of order
// one.
TEST(FlowDerivs, TangentIsTheDerivativeOfTheModel) {
  const Real h = 1e-6L;
  for (int seed = 1; seed <= 30; ++seed) {
    StateMaker make(seed);
    Real s[StateSize + 1];
    flow_state(make, seed % 2 ? 5 : 3, s);
    const Real damping = static_cast<double>(make.uniform());
    FlowVector joined, rates;
    Real up[StateSize + 1] = {}, down[StateSize + 1] = {}, f_up[StateSize + 1] = {}, f_down[StateSize + 1] = {};
    for (int i = 0; i < StateSize; ++i) {
      joined[i] = static_cast<double>(s[i + 1]);
      joined[StateSize + i] = static_cast<double>(make.normal(1));
      up[i + 1] = s[i + 1] + h * joined[StateSize + i];
      down[i + 1] = s[i + 1] - h * joined[StateSize + i];
    }
    FlowJoinedDerivs(static_cast<double>(damping), joined.data(), rates.data());
    FlockDerivs(FlockModel{damping}, up, f_up);
    FlockDerivs(FlockModel{damping}, down, f_down);
    for (int i = 1; i <= StateSize; ++i) {
      const Real want = (f_up[i] - f_down[i]) / (2 * h);
      EXPECT_NEAR(rates[StateSize + i - 1], static_cast<double>(want), 1e-6 * (1 + std::fabs(static_cast<double>(want))))
          << "component " << i << " seed " << seed;
    }
  }
}

// The trace of the Jacobian, taken column by column from the tangent
// product, is what FlowDivergence says it is.
TEST(FlowDerivs, DivergenceIsTheTraceOfTheJacobian) {
  for (const double damping : {0.0, 0.125, 0.99875}) {
    StateMaker make(11);
    Real s[StateSize + 1];
    flow_state(make, 0, s);
    double trace = 0;
    for (int k = 0; k < StateSize; ++k) {
      FlowVector joined{}, rates;
      for (int i = 0; i < StateSize; ++i) joined[i] = static_cast<double>(s[i + 1]);
      joined[StateSize + k] = 1;
      FlowJoinedDerivs(damping, joined.data(), rates.data());
      trace += rates[StateSize + k];
    }
    EXPECT_NEAR(trace, FlowDivergence(damping), 1e-12) << damping;
    EXPECT_NEAR(FlowDivergence(damping), -14 * damping / 0.3 - 1, 1e-13) << damping;
  }
}

}  // namespace
