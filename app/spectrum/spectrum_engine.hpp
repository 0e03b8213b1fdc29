// The spectrum engine: the state and K tangent vectors (K = 1..32) carried
// together by the flow engine's method (Dormand-Prince 5(4), its controller,
// the error of the 32 state components alone, passes landing on their marks
// with the folds of body 1 there, the same stall limits), so that the state
// follows the flow engine's trajectory bit for bit. The state's stages are
// tried first; only an accepted step carries the tangents, each stage with
// the Jacobian blocks its state stage left, all tangents in the lanes of
// vectors. Every few passes the tangents are orthonormalised (modified
// Gram-Schmidt) and their lengths before it, whose logarithms make the
// exponents, given back.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "app/model/flow_engine.hpp"
#include "app/spectrum/jacobian_terms.hpp"
#include "app/spectrum/tangent_kernels.hpp"

constexpr int SpectrumMostTangents = StateSize;

// Memory aligned for the widest vector, freed as it was taken.
struct AlignedFree {
  void operator()(double* p) const { ::operator delete[](p, std::align_val_t(64)); }
};
using AlignedDoubles = std::unique_ptr<double[], AlignedFree>;

struct SpectrumEngine {
  double damping = 0;
  double tolerance = FlowDefaultTolerance;
  int tangents = 0;  // K
  int stride = 0;    // tangent k's component c at c * stride + k
  TangentKernels kernels;
  AlignedDoubles memory;
  // The state (32 doubles each): where the engine is, its slope, a stage's
  // argument (at last the try's end) and the stages k2 .. k7; k7, the slope
  // at the try's end, becomes the next try's first stage.
  double* x = nullptr;
  double* dxdt = nullptr;
  double* x_tmp = nullptr;
  double* k[6] = {};
  // The tangents (32 * stride doubles each), their slope, and the same at
  // the end of an accepted try; their stages stay within the kernel.
  double* t = nullptr;
  double* t_dxdt = nullptr;
  double* t_end = nullptr;
  double* t_end_dxdt = nullptr;
  // The Jacobian at x and at each later stage of the try under way.
  JacobianTerms terms[7];
  double dt = 0;  // the step the controller proposes next
  std::int64_t steps = 0;     // accepted steps
  std::int64_t rejected = 0;  // steps tried and refused by the error control
  std::int64_t folds = 0;     // marks where body 1 was folded
  // Each tangent's largest component in magnitude at the last mark.
  double largest[SpectrumMostTangents] = {};
};

// Starts an engine for `tangents` tangents at `state` (32 doubles), flock
// damping `damping`, the tangents fixed pseudo-random directions,
// orthonormalised; the first step proposed is `first_step`. Not the flow
// engine's diagonal: with every drag equal (D = 0.15, D / 0.3 = 0.1 / 0.2)
// the diagonal, a shift of all positions and all velocities alike, spans
// with the translations a subspace the tangent dynamics keep to exactly,
// whose largest exponent is 0.
void SpectrumStart(SpectrumEngine& engine, const double* state, int tangents, double damping, double tolerance,
                   double first_step, const TangentKernels& kernels = BestTangentKernels());

// Advances by `span` exactly, as FlowAdvance does: false where it gives up
// (the step below 1e-12 of the span, or a million tries), the engine left
// where it stopped.
bool SpectrumAdvance(SpectrumEngine& engine, double span);

// A pass: advanced by `span`, then the folds of body 1 at the mark (a fold
// takes the slopes afresh). False when the engine cannot go on, or the state
// or a tangent is no longer finite.
bool SpectrumPass(SpectrumEngine& engine, double span);

// Whether the tangents, after a pass, have grown or shrunk so far (a
// component beyond 2^200 in one, or none above 2^-200 in another) that
// they must be orthonormalised before the next, whatever the interval: the
// close pairs of the capture band stretch and squeeze them by e^100 and
// more in a few passes.
bool SpectrumTangentsOutOfRange(const SpectrumEngine& engine);

// Orthonormalises the tangents in order, each tangent's length before it
// into lengths[k], and takes their slope afresh.
void SpectrumOrthonormalise(SpectrumEngine& engine, double* lengths);

// Tangent k's component c.
inline double& Tangent(const SpectrumEngine& engine, int k, int c) { return engine.t[c * engine.stride + k]; }
