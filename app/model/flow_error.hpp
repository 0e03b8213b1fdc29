// The flow engine's error measure, an error checker for Boost.Odeint's
// controlled steppers: Odeint's own measure, |err_i| / (tol + tol (|x_i| +
// dt |dxdt_i|)), its largest value taken over the 32 state components only.
// The tangent grows without bound between renormalisations and is no part
// of the solution whose accuracy is asked for; leaving it out also means it
// never changes the steps, and so never the trajectory.
#pragma once

#include <cmath>

#include "app/model/flock_model.hpp"

template <class Algebra>
struct StateErrorChecker {
  using value_type = double;
  using algebra_type = Algebra;
  double tolerance;

  // An error that is not a number refuses the step.
  template <class State, class Deriv, class Err, class Time>
  double error(algebra_type&, const State& x_old, const Deriv& dxdt_old, Err& x_err, Time dt) const {
    double largest = 0;
    for (int i = 0; i < StateSize; ++i) {
      const double scale = tolerance + tolerance * (std::fabs(x_old[i]) + std::fabs(dt) * std::fabs(dxdt_old[i]));
      const double e = std::fabs(x_err[i]) / scale;
      if (!(e <= largest)) largest = std::isnan(e) ? HUGE_VAL : e;
    }
    return largest;
  }
};
