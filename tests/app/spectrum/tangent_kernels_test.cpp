// The spectrum's Jacobian against the model: its state half the bits of
// FlowJoinedDerivs, its tangent products the derivative of FlockDerivs, the
// translations mapped to zero exactly, the dense product the same Jacobian;
// and every kernel the same bits on every vector target.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/lanes/batch_kernels.hpp"
#include "app/model/flock_derivs.hpp"
#include "app/spectrum/tangent_kernels.hpp"
#include "app/model/model_test_support.hpp"

namespace {

using model_test::StateMaker;

bool same(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Aligned storage for `count` tangents laid out as the kernels read them.
struct Tangents {
  explicit Tangents(int count) : count(count), stride(TangentStrideFor(count)), memory(StateSize * stride + 8) {}
  double* data() {
    auto at = reinterpret_cast<std::uintptr_t>(memory.data());
    return memory.data() + ((64 - at % 64) % 64) / sizeof(double);
  }
  double& at(int k, int c) { return data()[c * stride + k]; }
  int count, stride;
  std::vector<double> memory;
};

void typical_state(StateMaker& make, double* state) {
  Real s[StateSize + 1];
  make.typical(s);
  for (int i = 0; i < StateSize; ++i) state[i] = static_cast<double>(s[i + 1]);
}

void awkward_state(StateMaker& make, double* state) {
  Real s[StateSize + 1];
  if (make.below(3) == 0) {
    make.typical(s);
  } else {
    make.awkward(s);
  }
  for (int i = 0; i < StateSize; ++i) state[i] = static_cast<double>(s[i + 1]);
}

TEST(JacobianTerms, StateRatesAreFlowJoinedDerivsBits) {
  for (int seed = 1; seed <= 500; ++seed) {
    StateMaker make(seed);
    FlowVector joined{}, want;
    awkward_state(make, joined.data());
    const double damping = static_cast<double>(make.uniform());
    FlowJoinedDerivs(damping, joined.data(), want.data());
    double rates[StateSize];
    JacobianTerms terms;
    StateRatesAndTerms(damping, joined.data(), rates, terms);
    for (int i = 0; i < StateSize; ++i) ASSERT_TRUE(same(rates[i], want[i])) << "seed " << seed << " component " << i;
  }
}

// J v against (f(y + h v) - f(y - h v)) / 2h of the long-double model, as
// the flow engine's own tangent is checked: a wrong term is off by a factor
// of order one, far beyond the 1e-6 the differences leave.
TEST(TangentKernels, RatesAreTheDerivativeOfTheModel) {
  const Real h = 1e-6L;
  const TangentKernels& kernels = BestTangentKernels();
  for (int seed = 1; seed <= 30; ++seed) {
    StateMaker make(seed);
    double state[StateSize], rates[StateSize];
    typical_state(make, state);
    const double damping = static_cast<double>(make.uniform());
    JacobianTerms terms;
    StateRatesAndTerms(damping, state, rates, terms);
    Tangents t(5), r(5);
    for (int k = 0; k < t.count; ++k)
      for (int c = 0; c < StateSize; ++c) t.at(k, c) = static_cast<double>(make.normal(1));
    kernels.rates(terms, t.data(), r.data(), t.stride);
    for (int k = 0; k < t.count; ++k) {
      Real up[StateSize + 1] = {}, down[StateSize + 1] = {}, f_up[StateSize + 1], f_down[StateSize + 1];
      for (int c = 0; c < StateSize; ++c) {
        up[c + 1] = state[c] + h * t.at(k, c);
        down[c + 1] = state[c] - h * t.at(k, c);
      }
      FlockDerivs(FlockModel{damping}, up, f_up);
      FlockDerivs(FlockModel{damping}, down, f_down);
      for (int c = 0; c < StateSize; ++c) {
        const double want = static_cast<double>((f_up[c + 1] - f_down[c + 1]) / (2 * h));
        EXPECT_NEAR(r.at(k, c), want, 1e-6 * (1 + std::fabs(want)))
            << "seed " << seed << " tangent " << k << " c " << c;
      }
    }
  }
}

// A shift of every body's x (or y) changes no difference of positions and
// no velocity: the Jacobian's blocks map it to zero, exactly. The dense
// product sums each row's entries, which cancel only to within roundings.
TEST(TangentKernels, TranslationsMapToZeroExactly) {
  const TangentKernels& kernels = BestTangentKernels();
  for (int seed = 1; seed <= 200; ++seed) {
    StateMaker make(seed);
    double state[StateSize], rates[StateSize];
    typical_state(make, state);
    if (seed % 2) state[4] = state[0] + 1e-4;  // a close pair
    JacobianTerms terms;
    StateRatesAndTerms(static_cast<double>(make.uniform()), state, rates, terms);
    Tangents t(2), r(2);
    for (int b = 0; b <= FlockBodies; ++b) {
      t.at(0, ComponentsPerBody * b) = 1;
      t.at(1, ComponentsPerBody * b + 1) = -2.5;
    }
    kernels.rates(terms, t.data(), r.data(), t.stride);
    for (int k = 0; k < 2; ++k)
      for (int c = 0; c < StateSize; ++c)
        ASSERT_EQ(r.at(k, c), 0.0) << "seed " << seed << " tangent " << k << " c " << c;
  }
}

// The dense product sums the same terms in another order: equal to within
// roundings of the largest term, 1e-13 of the Jacobian's largest entry times
// the tangent's largest component.
TEST(TangentKernels, DenseProductIsTheSameJacobian) {
  const TangentKernels& kernels = BestTangentKernels();
  for (int seed = 1; seed <= 200; ++seed) {
    StateMaker make(seed);
    double state[StateSize], rates[StateSize];
    typical_state(make, state);
    JacobianTerms terms;
    StateRatesAndTerms(static_cast<double>(make.uniform()), state, rates, terms);
    double largest_entry = terms.flock_drag;
    const auto size = [](const Block2& b) { return std::fabs(b.xx) + std::fabs(b.xy) + std::fabs(b.yy); };
    for (const Block2& b : terms.chaser) largest_entry = std::fmax(largest_entry, size(b));
    for (const Block2& b : terms.pair) largest_entry = std::fmax(largest_entry, size(b));
    Tangents t(11), blocks(11), dense(11);
    double largest_component = 0;
    for (int k = 0; k < t.count; ++k)
      for (int c = 0; c < StateSize; ++c) {
        t.at(k, c) = static_cast<double>(make.normal(1));
        largest_component = std::fmax(largest_component, std::fabs(t.at(k, c)));
      }
    kernels.rates(terms, t.data(), blocks.data(), t.stride);
    kernels.dense_rates(terms, t.data(), dense.data(), t.stride);
    for (int k = 0; k < t.count; ++k)
      for (int c = 0; c < StateSize; ++c)
        ASSERT_NEAR(dense.at(k, c), blocks.at(k, c), 1e-13 * 8 * largest_entry * largest_component)
            << "seed " << seed << " tangent " << k << " c " << c;
  }
}

// Orthonormalised tangents are orthonormal, and the lengths and the tangents
// make up the vectors they came from: V = Q R.
TEST(TangentKernels, GramSchmidtFactorsTheTangents) {
  const TangentKernels& kernels = BestTangentKernels();
  for (const int count : {1, 6, 9, 32}) {
    StateMaker make(count);
    Tangents v(count), q(count);
    for (int k = 0; k < count; ++k)
      for (int c = 0; c < StateSize; ++c) v.at(k, c) = q.at(k, c) = static_cast<double>(make.normal(1 + k));
    std::vector<double> lengths(count);
    kernels.orthonormalise(q.data(), q.stride, count, lengths.data());
    for (int a = 0; a < count; ++a) {
      for (int b = 0; b <= a; ++b) {
        double dot = 0;
        for (int c = 0; c < StateSize; ++c) dot += q.at(a, c) * q.at(b, c);
        ASSERT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-14) << count << ": " << a << " " << b;
      }
      // V's column a: its part along the earlier columns of Q, and R's
      // diagonal along its own.
      double residual = 0, norm = 0;
      for (int c = 0; c < StateSize; ++c) {
        double rebuilt = lengths[a] * q.at(a, c);
        for (int b = 0; b < a; ++b) {
          double r = 0;
          for (int e = 0; e < StateSize; ++e) r += q.at(b, e) * v.at(a, e);
          rebuilt += r * q.at(b, c);
        }
        residual = std::fmax(residual, std::fabs(rebuilt - v.at(a, c)));
        norm = std::fmax(norm, std::fabs(v.at(a, c)));
      }
      ASSERT_LE(residual, 1e-13 * norm) << count << ": " << a;
    }
    // Nothing beyond `count` is touched.
    for (int k = count; k < q.stride; ++k)
      for (int c = 0; c < StateSize; ++c) ASSERT_EQ(q.at(k, c), 0.0);
  }
}

// Every kernel on every target the machine runs gives the best target's
// bits, awkward states included, for tangent counts that fill their
// vectors and counts that do not.
TEST(TangentKernels, SameBitsOnEveryTarget) {
  const TangentKernels& best = BestTangentKernels();
  for (const BatchTarget& target : BatchTargets()) {
    const TangentKernels kernels = TangentKernelsFor(target.target);
    ASSERT_EQ(kernels.target, target.target) << target.name;
    for (int seed = 1; seed <= 100; ++seed) {
      StateMaker make(seed);
      double state[StateSize], rates[StateSize];
      awkward_state(make, state);
      JacobianTerms terms;
      StateRatesAndTerms(static_cast<double>(make.uniform()), state, rates, terms);
      const int count = 1 + make.below(StateSize);
      Tangents t(count), mine(count), theirs(count);
      for (int k = 0; k < count; ++k)
        for (int c = 0; c < StateSize; ++c) t.at(k, c) = static_cast<double>(make.normal(1));
      const int n = StateSize * t.stride;
      for (auto pick : {&TangentKernels::rates, &TangentKernels::dense_rates}) {
        (kernels.*pick)(terms, t.data(), mine.data(), t.stride);
        (best.*pick)(terms, t.data(), theirs.data(), t.stride);
        for (int e = 0; e < n; ++e)
          ASSERT_TRUE(same(mine.data()[e], theirs.data()[e])) << target.name << " seed " << seed;
      }
      const double a[] = {0.3, -1.7, 2.25, 1e-3, -5.5, 0.125};
      const double* k[] = {t.data(), mine.data(), theirs.data(), t.data(), mine.data(), theirs.data()};
      Tangents out_mine(count), out_theirs(count);
      const int terms_count = 1 + seed % 6;
      kernels.combine(t.data(), terms_count, a, k, out_mine.data(), n);
      best.combine(t.data(), terms_count, a, k, out_theirs.data(), n);
      for (int e = 0; e < n; ++e) {
        double want = t.data()[e];
        for (int j = 0; j < terms_count; ++j) want = want + a[j] * k[j][e];
        ASSERT_TRUE(same(out_mine.data()[e], want)) << target.name << " seed " << seed << " element " << e;
      }
      // The extent of tangents holding infinities and NaNs where the
      // state made them: their largest magnitudes wherever all are finite.
      std::vector<double> largest_mine(t.stride), largest_theirs(t.stride), finite_mine(t.stride),
          finite_theirs(t.stride);
      kernels.extent(mine.data(), t.stride, largest_mine.data(), finite_mine.data());
      best.extent(mine.data(), t.stride, largest_theirs.data(), finite_theirs.data());
      for (int j = 0; j < count; ++j) {
        double most = 0;
        bool finite = true;
        for (int c = 0; c < StateSize; ++c) {
          most = std::fmax(most, std::fabs(mine.at(j, c)));
          finite = finite && std::isfinite(mine.at(j, c));
        }
        ASSERT_EQ(finite_mine[j] == 0, finite) << target.name << " seed " << seed << " tangent " << j;
        ASSERT_TRUE(same(finite_mine[j], finite_theirs[j])) << target.name << " seed " << seed;
        if (finite) {
          ASSERT_EQ(largest_mine[j], most) << target.name << " seed " << seed << " tangent " << j;
          ASSERT_EQ(largest_theirs[j], most) << target.name << " seed " << seed << " tangent " << j;
        }
      }
      std::vector<double> lengths_mine(count), lengths_theirs(count);
      kernels.orthonormalise(out_mine.data(), t.stride, count, lengths_mine.data());
      best.orthonormalise(out_theirs.data(), t.stride, count, lengths_theirs.data());
      for (int e = 0; e < n; ++e)
        ASSERT_TRUE(same(out_mine.data()[e], out_theirs.data()[e])) << target.name << " seed " << seed;
      for (int j = 0; j < count; ++j) ASSERT_TRUE(same(lengths_mine[j], lengths_theirs[j])) << target.name;
    }
  }
}

}  // namespace
