// The vector kernels of the spectrum engine: the model's Jacobian applied to
// many tangent vectors at once, one tangent per vector lane, from the blocks
// of JacobianTerms (or, for comparison, as a dense product with the
// Jacobian's acceleration rows); the method's stage sums over the joined
// vector of state and tangents; and the tangents' orthonormalisation.
// Compiled by Highway for every vector target and chosen at run time.
//
// Tangents are stored component by component: component c (0..31) of
// tangent k at element c * stride + k, `stride` a multiple of
// TangentStrideUnit, so that a vector of any target holds consecutive
// tangents. Only additions, subtractions, products, quotients and square
// roots, each lane on its own and every sum in one fixed order: a lane's
// numbers are the same bits on every target and whatever its neighbours
// hold.
#pragma once

#include <cstdint>

#include "app/spectrum/jacobian_terms.hpp"

// The widest vector of doubles any target has: strides are a multiple.
constexpr int TangentStrideUnit = 8;
constexpr int TangentStrideFor(int tangents) {
  return (tangents + TangentStrideUnit - 1) / TangentStrideUnit * TangentStrideUnit;
}

struct TangentKernels {
  // rates := J tangents, every lane of `stride`, J given by `terms`.
  void (*rates)(const JacobianTerms& terms, const double* tangents, double* rates, int stride) = nullptr;
  // The same as a dense product of the Jacobian's acceleration rows (16 by
  // 16 over the positions, the drags beside them): the same numbers to
  // within roundings, kept to measure which is faster.
  void (*dense_rates)(const JacobianTerms& terms, const double* tangents, double* rates, int stride) = nullptr;
  // out := x + a_0 k_0 + ... + a_(terms-1) k_(terms-1), summed left to right,
  // element by element over `n` elements (a multiple of TangentStrideUnit):
  // each element the bits of the same sum in scalar code.
  void (*combine)(const double* x, int terms, const double* a, const double* const* k, double* out, int n) = nullptr;
  // The tangents' half of an accepted step of the method (Dormand-Prince
  // 5(4)) of step h from x with slope k1: its end into `out` and the slope
  // there into `k7`, each stage with the Jacobian terms[1..6] its state
  // stage left (terms[0], at x, made k1).
  void (*step)(const JacobianTerms* terms, double h, const double* x, const double* k1, double* out, double* k7,
               int stride) = nullptr;
  // Modified Gram-Schmidt on the first `count` tangents, in order: each
  // divided by its length, which goes to `lengths`, then taken out of every
  // later one.
  void (*orthonormalise)(double* tangents, int stride, int count, double* lengths) = nullptr;
  // Per tangent lane of `stride`: its largest component in magnitude, and 0
  // where all its components are finite (else not a number).
  void (*extent)(const double* tangents, int stride, double* largest, double* finite) = nullptr;
  std::int64_t target = 0;
  int width = 0;  // doubles per vector
};

// The kernels of the best target of this machine.
const TangentKernels& BestTangentKernels();
// Those of one of the targets BatchTargets() lists.
TangentKernels TangentKernelsFor(std::int64_t target);
