// Plain transcriptions of the chase model, its Runge-Kutta steps and the
// sweep's 64-evaluation divergence sample, written straight from the
// equations with nothing shared or reordered. The optimised routines must
// reproduce them bit for bit. The benchmarks time them too.
#pragma once

#include <cmath>

#include "app/model/model_test_support.hpp"
#include "runtime/numeric.hpp"
#include "runtime/real.hpp"

namespace plain {

using PowerFunction = Real (*)(Real, Real);

// FlockDerivs with squares and d^1.5 taken by the given power function.
inline void flock_derivs(const Real* state, Real* rates, PowerFunction pw) {
  const Real D = model_test::model.FlockDamping;
  const Real xc = state[29], yc = state[30], vxc = state[31], vyc = state[32];
  for (int i = 1; i <= 7; ++i) {
    const Real xi = state[4 * i - 3], yi = state[4 * i - 2];
    const Real vxi = state[4 * i - 1], vyi = state[4 * i];
    const Real dc = pw(xc - xi, 2) + pw(yc - yi, 2);
    rates[4 * i - 3] = vxi;
    rates[4 * i - 2] = vyi;
    rates[4 * i - 1] = (-D * vxi) / 0.3L - (xc - xi) / (dc * 0.3L);
    rates[4 * i] = (-D * vyi) / 0.3L - (yc - yi) / (dc * 0.3L);
    for (int j = 1; j <= 7; ++j) {
      if (j == i) continue;
      const Real xj = state[4 * j - 3], yj = state[4 * j - 2];
      const Real d = pw(xj - xi, 2) + pw(yj - yi, 2);
      const Real g = 1 / d - 1 / pw(d, 1.5L);
      rates[4 * i - 1] = g * (xj - xi) / 0.3L + rates[4 * i - 1];
      rates[4 * i] = g * (yj - yi) / 0.3L + rates[4 * i];
    }
  }
  rates[29] = vxc;
  rates[30] = vyc;
  rates[31] = (-0.1L * vxc) / 0.2L;
  rates[32] = (-0.1L * vyc) / 0.2L;
  for (int j = 1; j <= 7; ++j) {
    const Real xj = state[4 * j - 3], yj = state[4 * j - 2];
    const Real d = pw(xj - xc, 2) + pw(yj - yc, 2);
    rates[31] = (xj - xc) / (d * 0.2L) + rates[31];
    rates[32] = (yj - yc) / (d * 0.2L) + rates[32];
  }
}

// The runtime's power: exact fast paths for x^2 and x^1.5.
inline void flock_derivs_fast(const Real* state, Real* rates) { flock_derivs(state, rates, power); }
// d^1.5 as exp(1.5 ln d).
inline void flock_derivs_exp_ln(const Real* state, Real* rates) { flock_derivs(state, rates, power_by_exp_ln); }

using DerivsFunction = void (*)(const Real*, Real*);

// The sweep's divergence sample: each component lowered by epsilon/2 and
// raised from there by epsilon, two evaluations per component. `state` is
// modified and restored.
inline void divergence_loop(Real* state, Real* derivs, Real epsilon, Real& sum, DerivsFunction derivs_of) {
  for (int i = 1; i <= 32; ++i) {
    const Real v = state[i];
    state[i] = state[i] - epsilon * 0.5L;
    derivs_of(state, derivs);
    const Real t = derivs[i];
    state[i] = epsilon + state[i];
    derivs_of(state, derivs);
    sum = sum + (derivs[i] - t) / epsilon;
    state[i] = v;
  }
}

inline void step_rk4(const Real* y, Real* dydx, int n, Real h, Real* yout, DerivsFunction derivs_of) {
  Real t[33] = {}, s2[33] = {}, s3[33] = {};
  const Real hh = h * 0.5L;
  const Real h6 = h / 6;
  derivs_of(y, dydx);
  for (int i = 1; i <= n; ++i) t[i] = y[i] + hh * dydx[i];
  derivs_of(t, s2);
  for (int i = 1; i <= n; ++i) t[i] = y[i] + hh * s2[i];
  derivs_of(t, s3);
  for (int i = 1; i <= n; ++i) {
    t[i] = y[i] + h * s3[i];
    s3[i] = s3[i] + s2[i];
  }
  derivs_of(t, s2);
  for (int i = 1; i <= n; ++i) yout[i] = y[i] + h6 * ((s2[i] + dydx[i]) + 2 * s3[i]);
}

inline void step_adaptive(const Real* y, Real* dydx, int n, Real h, Real* yout, DerivsFunction derivs_of) {
  Real y0[33] = {}, y1[33] = {};
  for (int i = 1; i <= n; ++i) y0[i] = y[i];
  step_rk4(y0, dydx, n, h, yout, derivs_of);
  step_rk4(y0, dydx, n, h / 2, y1, derivs_of);
  step_rk4(y1, dydx, n, h / 2, y1, derivs_of);
  Real err = 0;
  for (int i = 1; i <= n; ++i) {
    const Real e = std::fabs(yout[i] - y1[i]);
    err = e > err ? e : err;
  }
  Real kr = std::ceil(power(err / widen(1e-8f), 0.25L) + widen(1.1f));
  const int k = kr < 1000 ? static_cast<int>(kr) : 1000;
  if (k > 2) {
    step_rk4(y0, dydx, n, h / k, y1, derivs_of);
    for (int s = 1; s <= k - 1; ++s) step_rk4(y1, dydx, n, h / k, y1, derivs_of);
  }
  const Real c = 1 / (power(k, 4) - 1);
  for (int i = 1; i <= n; ++i) yout[i] = y1[i] + (y1[i] - yout[i]) * c;
  if (yout[1] > Pi) yout[1] = yout[1] - Pi * 2;
  if (yout[1] < -Pi) yout[1] = yout[1] + Pi * 2;
  if (yout[3] > Pi * 2) yout[3] = yout[3] - Pi * 2;
}

}  // namespace plain
