// A reference trajectory for the flow engine's tests and accuracy bench:
// the long-double model integrated by Odeint's Runge-Kutta-Fehlberg 7(8) at
// a tight tolerance, pass by pass with the folds of body 1 at every mark,
// as --flow makes them; and the states of the committed checkpoints.
#pragma once

#include <array>
#include <cmath>
#include <string>

#include <boost/numeric/odeint.hpp>

#include "app/files/checkpoint.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/flock_derivs.hpp"
#include "app/model/integrator.hpp"

namespace flow_test {

// The state after a column of the committed robust sweep (by default
// column 372, damping 0.4025).
inline FlockState checkpoint_state(const char* name = "after_column_372") {
  std::string error;
  const auto checkpoint =
      read_checkpoint(std::string(FLOCKCHASE_SOURCE_DIR) + "/docs/robust_sweep/states/" + name + ".checkpoint", error);
  FlockState state{};
  if (checkpoint) state = checkpoint->ref_state;
  return state;
}

using LongState = std::array<long double, StateSize>;

// Odeint's Fehlberg stepper copies its scratch before the first step fills
// it, which g++ flags when the copy is inlined here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// `passes` passes of 0.01 from `state` by the long-double model at
// tolerance `tolerance` (absolute and relative), folding at every mark.
inline FlockState reference_flow(const FlockState& state, Real damping, int passes, long double tolerance = 1e-16L) {
  namespace odeint = boost::numeric::odeint;
  using Method = odeint::runge_kutta_fehlberg78<LongState, long double, LongState, long double, odeint::array_algebra>;
  auto stepper = odeint::make_controlled(tolerance, tolerance, Method());
  const FlockModel model{damping};
  const auto system = [&model](const LongState& x, LongState& dxdt, long double) {
    Real in[StateSize + 1] = {}, out[StateSize + 1] = {};
    for (int i = 0; i < StateSize; ++i) in[i + 1] = x[i];
    FlockDerivs(model, in, out);
    for (int i = 0; i < StateSize; ++i) dxdt[i] = out[i + 1];
  };
  LongState x;
  for (int i = 0; i < StateSize; ++i) x[i] = state[i + 1];
  long double dt = 1e-4L;
  for (int p = 0; p < passes; ++p) {
    odeint::integrate_adaptive(stepper, system, x, 0.0L, static_cast<long double>(TimeStep), dt);
    Real folded[StateSize + 1] = {};
    for (int i = 0; i < StateSize; ++i) folded[i + 1] = x[i];
    FoldStep(folded);
    for (int i = 0; i < StateSize; ++i) x[i] = folded[i + 1];
  }
  FlockState out{};
  for (int i = 0; i < StateSize; ++i) out[i + 1] = x[i];
  return out;
}
#pragma GCC diagnostic pop

// The largest difference of two states' components.
inline Real state_distance(const FlockState& a, const FlockState& b) {
  Real largest = 0;
  for (int i = 1; i <= StateSize; ++i) largest = std::fmax(largest, std::fabs(a[i] - b[i]));
  return largest;
}

}  // namespace flow_test
