#include "app/model/integrator.hpp"

#include <cmath>

#include "app/model/flock_derivs.hpp"
#include "app/model/model_globals.hpp"
#include "runtime/numeric.hpp"

namespace {

constexpr int N = FlockComponents;

// The last three slopes of a Runge-Kutta step whose first slope, at y, is
// already in `slope`.
void rk4_from_slope(const Real* y, const Real* slope, Real h, Real* yout) {
  Real t[N + 1];
  Real s2[N + 1];
  Real s3[N + 1];
  const Real hh = h * 0.5L;
  const Real h6 = h / 6;
  for (int i = 1; i <= N; ++i) t[i] = y[i] + hh * slope[i];
  FlockDerivs(t, s2, N);
  for (int i = 1; i <= N; ++i) t[i] = y[i] + hh * s2[i];
  FlockDerivs(t, s3, N);
  for (int i = 1; i <= N; ++i) {
    t[i] = y[i] + h * s3[i];
    s3[i] = s3[i] + s2[i];
  }
  FlockDerivs(t, s2, N);
  // y(i) is read before yout(i) is written, so yout may be y.
  for (int i = 1; i <= N; ++i) yout[i] = y[i] + h6 * ((s2[i] + slope[i]) + 2 * s3[i]);
}

}  // namespace

void StepRK4(const Real* y, Real* dydx, int, Real h, Real* yout) {
  FlockDerivs(y, dydx, N);
  rk4_from_slope(y, dydx, h, yout);
}

int SubStepCount(Real err) {
  const Real k = std::ceil(power(err / StepTolerance, 0.25L) + widen(1.1f));
  if (!(k < MaxSubSteps)) return MaxSubSteps;
  return static_cast<int>(k);
}

void FoldStep(Real* state) {
  if (state[1] > Pi) state[1] = state[1] - Pi * 2;
  if (state[1] < -Pi) state[1] = state[1] + Pi * 2;
  if (state[3] > Pi * 2) state[3] = state[3] - Pi * 2;
}

int StepAdaptive(const Real* y, Real* dydx, int, Real h, Real* yout) {
  Real y0[N + 1];
  Real y1[N + 1];
  // The coarse step, the first half step and the first refined sub-step all
  // start at y0 and would evaluate the same slope there: evaluate it once.
  Real slope0[N + 1];
  for (int i = 1; i <= N; ++i) y0[i] = y[i];
  FlockDerivs(y0, slope0, N);

  rk4_from_slope(y0, slope0, h, yout);
  const Real half = h / 2;
  rk4_from_slope(y0, slope0, half, y1);
  StepRK4(y1, dydx, N, half, y1);

  Real err = 0;
  for (int i = 1; i <= N; ++i) {
    const Real e = std::fabs(yout[i] - y1[i]);
    // The larger of the two; an unordered comparison keeps the running value.
    if (e > err) err = e;
  }

  const int k = SubStepCount(err);
  if (k > 2) {
    const Real sub = h / k;
    rk4_from_slope(y0, slope0, sub, y1);
    for (int step = 1; step < k; ++step) StepRK4(y1, dydx, N, sub, y1);
  }

  // Richardson: refined plus (refined - coarse) / (k^4 - 1); k^4 is exact.
  const Real c = 1 / (power(k, 4) - 1);
  for (int i = 1; i <= N; ++i) yout[i] = y1[i] + (y1[i] - yout[i]) * c;
  FoldStep(yout);
  return k;
}
