// The scalar flow engine's method written out, for the vector engines that
// must follow it bit for bit: the Dormand-Prince 5(4) coefficients, each
// the quotient Boost.Odeint's method forms in double, and its controller
// (Odeint's default step adjuster for a method of order 5 with an embedded
// one of order 4), formula for formula.
#pragma once

#include <algorithm>
#include <cmath>

namespace dopri5 {

constexpr double B21 = 1.0 / 5;
constexpr double B31 = 3.0 / 40, B32 = 9.0 / 40;
constexpr double B41 = 44.0 / 45, B42 = -56.0 / 15, B43 = 32.0 / 9;
constexpr double B51 = 19372.0 / 6561, B52 = -25360.0 / 2187, B53 = 64448.0 / 6561, B54 = -212.0 / 729;
constexpr double B61 = 9017.0 / 3168, B62 = -355.0 / 33, B63 = 46732.0 / 5247, B64 = 49.0 / 176,
                 B65 = -5103.0 / 18656;
constexpr double C1 = 35.0 / 384, C3 = 500.0 / 1113, C4 = 125.0 / 192, C5 = -2187.0 / 6784, C6 = 11.0 / 84;
constexpr double DC1 = C1 - 5179.0 / 57600, DC3 = C3 - 7571.0 / 16695, DC4 = C4 - 393.0 / 640,
                 DC5 = C5 - -92097.0 / 339200, DC6 = C6 - 187.0 / 2100, DC7 = -1.0 / 40;

// The step after a refused try.
inline double DecreasedStep(double dt, double error) {
  return dt * std::max(9.0 / 10.0 * std::pow(error, -1.0 / 3), 1.0 / 5.0);
}

// The step after an accepted one.
inline double IncreasedStep(double dt, double error) {
  if (error < 0.5) {
    error = std::max(std::pow(5.0, -5.0), error);
    dt *= 9.0 / 10.0 * std::pow(error, -1.0 / 5);
  }
  return dt;
}

}  // namespace dopri5
