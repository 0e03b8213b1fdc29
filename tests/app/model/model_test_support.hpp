// Random and awkward states for comparing the model routines with their
// plain transcriptions.
#pragma once

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "app/model/flock_model.hpp"
#include "runtime/real.hpp"

namespace model_test {

// The model the tests evaluate. The plain transcriptions read its damping
// too, as the program they transcribe reads its one damping value.
inline FlockModel model;

// Same value, same sign of a zero, or both NaN (a NaN's payload carries no
// meaning here).
inline bool same(Real a, Real b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

struct StateMaker {
  std::mt19937_64 engine;
  explicit StateMaker(std::uint64_t seed) : engine(seed) {}

  Real normal(Real sd) { return std::normal_distribution<double>(0.0, 1.0)(engine) * sd; }
  // A full-precision extended value: a normal double plus a small extended tail.
  Real fine_normal(Real sd) { return normal(sd) + normal(sd) * 0x1p-60L; }
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine); }
  Real uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(engine); }

  // A typical state: positions of order one, moderate velocities.
  void typical(Real* s) {
    s[0] = 0;
    for (int k = 0; k < 8; ++k) {
      s[4 * k + 1] = fine_normal(1.5L);
      s[4 * k + 2] = fine_normal(1.5L);
      s[4 * k + 3] = fine_normal(0.7L);
      s[4 * k + 4] = fine_normal(0.7L);
    }
  }

  // A typical state with one of a number of hazards: bodies very close to or
  // on top of each other or the chaser, zeros of both signs, huge values,
  // infinities and NaNs.
  void awkward(Real* s) {
    typical(s);
    const int kind = below(11);
    const int a = below(8);
    int b = below(7);
    if (b == a) b = 7;
    const Real tiny[] = {1e-4L, 1e-9L, 1e-30L, 1e-300L, 1e-2500L, 1e-4940L, 0.0L};
    switch (kind) {
      case 0:  // two bodies almost together, possibly exactly
      case 1: {
        const Real t = tiny[below(7)];
        s[4 * b + 1] = s[4 * a + 1] + t * normal(1);
        s[4 * b + 2] = s[4 * a + 2] + (below(2) ? t * normal(1) : 0.0L);
        break;
      }
      case 2:  // several bodies on one spot
        for (int k = 0; k < 8; ++k) {
          if (below(2)) {
            s[4 * k + 1] = s[4 * a + 1];
            s[4 * k + 2] = s[4 * a + 2];
          }
        }
        break;
      case 3:  // signed zeros in positions and velocities
        for (int i = 1; i <= 32; ++i) {
          if (below(3) == 0) s[i] = below(2) ? 0.0L : -0.0L;
        }
        break;
      case 4:  // bodies aligned on an axis
        for (int k = 0; k < 8; ++k) s[4 * k + 1 + below(2)] = s[4 * a + 1];
        break;
      case 5:  // huge and tiny magnitudes
        s[1 + below(32)] = below(2) ? 1e2400L : -1e-2400L;
        s[1 + below(32)] = 1e4900L;
        break;
      case 6:
        s[1 + below(32)] = below(2) ? std::numeric_limits<Real>::infinity() : -std::numeric_limits<Real>::infinity();
        break;
      case 7:
        s[1 + below(32)] = std::numeric_limits<Real>::quiet_NaN();
        break;
      case 8:  // velocities far below or above the finite-difference step
        for (int k = 0; k < 8; ++k) {
          s[4 * k + 3] = fine_normal(below(2) ? 1e-10L : 1e-13L);
          s[4 * k + 4] = fine_normal(below(2) ? 1e5L : 3e-9L);
        }
        break;
      default:  // at rest
        for (int k = 0; k < 8; ++k) s[4 * k + 3] = s[4 * k + 4] = 0;
        break;
    }
  }

  Real damping() {
    switch (below(6)) {
      case 0: return 0;
      case 1: return static_cast<Real>(51 + below(799)) / 800;  // a sweep value
      default: return uniform();
    }
  }
};

inline std::string describe(const Real* s) {
  std::string out;
  char buf[48];
  for (int i = 1; i <= 32; ++i) {
    std::snprintf(buf, sizeof buf, "%s%.21Lg", i == 1 ? "" : " ", s[i]);
    out += buf;
  }
  return out;
}

}  // namespace model_test
