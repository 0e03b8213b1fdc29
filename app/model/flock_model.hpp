// The chase model's record: the flock's damping, which every column sets,
// and the fixed constants of the equations; and the model's state type.
#pragma once

#include <array>

#include "runtime/real.hpp"

// A state holds eight bodies of four components, x, y, vx, vy, at elements
// 4k-3 .. 4k (k = 1..8); bodies 1..7 are the flock, body 8 the chaser.
constexpr int FlockBodies = 7;
constexpr int ComponentsPerBody = 4;
constexpr int StateSize = ComponentsPerBody * (FlockBodies + 1);
// The chaser's x, y, vx, vy follow the flock's: elements 29 .. 32.
constexpr int ChaserOffset = ComponentsPerBody * FlockBodies;

// A state of the model, 1-based as the equations number it: component i at
// element i, element 0 unused. This is the one place that mapping is made;
// the model's routines take a pointer to element 0 (`state.data()`), so that
// a longer vector (the tangent step's state and tangent side by side) can
// share them.
using FlockState = std::array<Real, StateSize + 1>;

// pi as the program states it: 3.141592653589794 rounded to the extended type
// (a little above the extended value nearest to pi). The folds use it.
constexpr Real Pi = 3.141592653589794L;

struct FlockModel {
  Real FlockDamping = 0;  // drag of the flock bodies, the swept parameter
  // Decimal constants held to full extended precision.
  static constexpr Real FlockMass = 0.3L;
  static constexpr Real ChaserMass = 0.2L;
  static constexpr Real ChaserDamping = 0.1L;
};
