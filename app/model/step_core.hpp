// The Runge-Kutta stages and the step-doubling step, written once for any
// vector that the right-hand side `rhs(y, rates)` advances: the model's 32
// components, or the model together with a tangent vector carried through the
// same stages (components 33 to 64). The error check and with it the number
// of sub-steps look at the model's 32 components only. Vectors are 1-based:
// element 0 is never touched.
#pragma once

#include <cmath>

#include "app/model/flock_model.hpp"
#include "runtime/numeric.hpp"
#include "runtime/real.hpp"

namespace step_core {

// The last three slopes of a Runge-Kutta step whose first slope, at y, is
// already in `slope`.
template <int N, class Rhs>
inline void rk4_from_slope(const Real* y, const Real* slope, Real h, Real* yout, const Rhs& rhs) {
  Real t[N + 1];
  Real s2[N + 1];
  Real s3[N + 1];
  const Real hh = h * 0.5L;
  const Real h6 = h / 6;
  for (int i = 1; i <= N; ++i) t[i] = y[i] + hh * slope[i];
  rhs(t, s2);
  for (int i = 1; i <= N; ++i) t[i] = y[i] + hh * s2[i];
  rhs(t, s3);
  for (int i = 1; i <= N; ++i) {
    t[i] = y[i] + h * s3[i];
    s3[i] = s3[i] + s2[i];
  }
  rhs(t, s2);
  // y(i) is read before yout(i) is written, so yout may be y.
  for (int i = 1; i <= N; ++i) yout[i] = y[i] + h6 * ((s2[i] + slope[i]) + 2 * s3[i]);
}

template <int N, class Rhs>
inline void rk4(const Real* y, Real* dydx, Real h, Real* yout, const Rhs& rhs) {
  rhs(y, dydx);
  rk4_from_slope<N>(y, dydx, h, yout, rhs);
}

// What a step has computed before it knows its number of sub-steps.
template <int N>
struct Draft {
  Real y0[N + 1];      // the starting state
  Real slope0[N + 1];  // the slope there
  Real coarse[N + 1];  // one step of the whole length
  Real fine[N + 1];    // two half steps, later the refined result
};

// The coarse step alone: all that a step with a known sub-step count above 2
// needs before its refinement.
template <int N, class Rhs>
inline void begin_coarse(const Real* y, Real h, Draft<N>& d, const Rhs& rhs) {
  for (int i = 1; i <= N; ++i) d.y0[i] = y[i];
  rhs(d.y0, d.slope0);
  rk4_from_slope<N>(d.y0, d.slope0, h, d.coarse, rhs);
}

// The coarse step and the two half steps; returns the largest difference of
// the two over the model's components. The coarse step, the first half step
// and the first refined sub-step all start at y0 and would evaluate the same
// slope there: it is evaluated once.
template <int N, class Rhs>
inline Real begin(const Real* y, Real* dydx, Real h, Draft<N>& d, const Rhs& rhs) {
  begin_coarse<N>(y, h, d, rhs);
  const Real half = h / 2;
  rk4_from_slope<N>(d.y0, d.slope0, half, d.fine, rhs);
  rk4<N>(d.fine, dydx, half, d.fine, rhs);
  Real err = 0;
  for (int i = 1; i <= StateSize; ++i) {
    const Real e = std::fabs(d.coarse[i] - d.fine[i]);
    // The larger of the two; an unordered comparison keeps the running value.
    if (e > err) err = e;
  }
  return err;
}

// The refinement into k sub-steps (none for k = 2: the half steps are the
// refined result) and the Richardson combination, refined plus
// (refined - coarse) / (k^4 - 1); k^4 is exact. No folds.
template <int N, class Rhs>
inline void finish(Draft<N>& d, Real* dydx, Real h, int k, Real* yout, const Rhs& rhs) {
  if (k > 2) {
    const Real sub = h / k;
    rk4_from_slope<N>(d.y0, d.slope0, sub, d.fine, rhs);
    for (int step = 1; step < k; ++step) rk4<N>(d.fine, dydx, sub, d.fine, rhs);
  }
  const Real c = 1 / (power(k, 4) - 1);
  for (int i = 1; i <= N; ++i) yout[i] = d.fine[i] + (d.fine[i] - d.coarse[i]) * c;
}

}  // namespace step_core
