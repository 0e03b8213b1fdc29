#include "app/model/flow_engine.hpp"

#include <cmath>

#include <boost/numeric/odeint.hpp>

#include "app/model/flow_error.hpp"

namespace odeint = boost::numeric::odeint;

namespace {

using Method = odeint::runge_kutta_dopri5<FlowVector, double, FlowVector, double, odeint::array_algebra>;
using Controlled = odeint::controlled_runge_kutta<Method, StateErrorChecker<odeint::array_algebra>>;

}  // namespace

void FlowStart(FlowEngine& engine, const FlowVector& joined, double first_step) {
  engine.x = joined;
  FlowJoinedDerivs(engine.damping, engine.x.data(), engine.dxdt.data());
  engine.dt = first_step;
}

bool FlowAdvance(FlowEngine& engine, double span) {
  Controlled controlled{StateErrorChecker<odeint::array_algebra>{engine.tolerance}};
  const double damping = engine.damping;
  const auto system = [damping](const FlowVector& x, FlowVector& dxdt, double) {
    FlowJoinedDerivs(damping, x.data(), dxdt.data());
  };
  double t = 0;
  for (std::int64_t tries = 0; tries < FlowMostTries; ++tries) {
    if (!(engine.dt >= span * FlowSmallestStepShare)) return false;
    const double rest = span - t;
    // The last step lands on the end itself; a step that would leave a
    // sliver behind takes it along.
    const bool last = engine.dt >= rest * 0.999;
    const double proposal = engine.dt;
    double step = last ? rest : engine.dt;
    double at = t;
    if (controlled.try_step(system, engine.x, engine.dxdt, at, step) == odeint::fail) {
      ++engine.rejected;
      engine.dt = step;
      continue;
    }
    ++engine.steps;
    if (last) {
      // A shortened last step must not shrink the next pass's first one:
      // the proposal before it stands unless the controller offers more.
      engine.dt = proposal;
      return true;
    }
    t = at;
    engine.dt = step;
  }
  return false;
}

bool FlowFold(double* state) {
  const double pi = static_cast<double>(Pi);
  const double x = state[0], vx = state[2];
  if (state[0] > pi) state[0] -= 2 * pi;
  if (state[0] < -pi) state[0] += 2 * pi;
  if (state[2] > 2 * pi) state[2] -= 2 * pi;
  return state[0] != x || state[2] != vx;
}

void FlowTangentStart(double damping, double* tangent) {
  if (damping * flow_model::InverseFlockMass != flow_model::ChaserDrag) {
    const double component = 1 / std::sqrt(static_cast<double>(StateSize));
    for (int i = 0; i < StateSize; ++i) tangent[i] = component;
    return;
  }
  double squares = 0;
  for (int i = 0; i < StateSize; ++i) {
    tangent[i] = std::sin(1.0 + 0.7 * i);
    squares += tangent[i] * tangent[i];
  }
  const double length = std::sqrt(squares);
  for (int i = 0; i < StateSize; ++i) tangent[i] /= length;
}

double FlowTangentLength(const double* joined) {
  double squares = 0;
  for (int i = StateSize; i < FlowSize; ++i) squares += joined[i] * joined[i];
  return std::sqrt(squares);
}

void FlowScaleTangent(FlowEngine& engine, int exponent) {
  if (exponent == 0) return;
  // A product with a power of two is exact short of the subnormal range,
  // and far cheaper than ldexp on every component.
  const double factor = std::ldexp(1.0, exponent);
  for (int i = StateSize; i < FlowSize; ++i) {
    engine.x[i] *= factor;
    engine.dxdt[i] *= factor;
  }
}
