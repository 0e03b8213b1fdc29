// One pass of a column: both trajectories advanced by a step, their
// separation measured, the shadow put back at distance Epsilon and, after
// the transient, the growth and the divergence of the flow logged.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "app/measure/batch_means.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/flock_model.hpp"
#include "runtime/real.hpp"

// Advances the reference and the shadow state of the model by one step each.
using PassAdvance = std::function<void(const FlockModel& model, Real* reference, Real* shadow)>;
// The same with a tangent vector carried by the reference (none when null)
// and, when robust, the shadow stepped by the reference's map.
using MeasuredAdvance =
    std::function<void(const FlockModel& model, Real* reference, Real* shadow, Real* tangent, bool robust)>;

// The vectors and running values of one column, all zero at its start but
// the model and the reference state, which the column continues.
struct ColumnPass {
  FlockModel model;
  FlockState ref{};         // RefState
  FlockState shadow{};      // ShadowState
  FlockState separation{};  // Separation
  FlockState derivs{};      // Derivs, scratch of the steps
  std::array<Real, BufferLength> ring{};  // EstimateRing
  std::int32_t Iteration = 0;
  // The pass before the current episode's first: each episode (the column's
  // start, and every restart after a capture) has its own transient.
  std::int32_t EpisodeStart = 0;
  std::int32_t MeasuredSteps = 0;
  Real LogSum = 0;
  Real DivergenceSum = 0;
  BatchMeans batch;
  // The measurement options. Robust: a pass beyond the bound is renormalised
  // and measured all the same (the shadow follows the reference's map, so
  // such a separation is the dynamics, not the integrator).
  bool robust = false;
  // Under --flow the divergence of a measured pass is the flow's closed
  // form, not a sample of the step's model.
  bool flow = false;
  std::int32_t LargePasses = 0;  // measured passes beyond the bound
  // The tangent estimate, once StartTangent has switched it on: a unit
  // tangent vector stepped with the reference and normalised every pass; its
  // log growth is logged over the same measured passes.
  bool with_tangent = false;
  FlockState tangent{};
  Real TangentLogSum = 0;
  BatchMeans tangent_batch;
};

enum class PassEnd {
  Diverged,    // separation beyond the bound: left to grow, nothing measured (not in robust passes)
  Coinciding,  // the trajectories coincide: the column ends
  Transient,   // renormalised, not measured
  Measured,    // renormalised and measured
};

// Both steps of a pass: on this thread one after the other when `advance`
// is empty.
void AdvanceBoth(ColumnPass& pass, const PassAdvance& advance);
// The steps of a pass with the measurement options; on this thread when
// `advance` is empty.
void AdvanceMeasured(ColumnPass& pass, const MeasuredAdvance& advance);

// What a measured pass adds to the column's sums, besides its divergence
// sample, which is taken from the reference state.
struct MeasuredGrowth {
  Real log_growth = 0;     // of the separation
  Real tangent_growth = 0; // of the tangent vector, when it is carried
  bool large = false;      // beyond the bound
};

// Everything of a pass after the steps. A measured pass updates the running
// exponent and divergence and the ring of estimates, and tells what it added
// in `growth` when given.
PassEnd FinishPass(ColumnPass& pass, Real& exponent, Real& mean_divergence, MeasuredGrowth* growth = nullptr);
// The measured part of a pass, taken with the reference state `ref` of its
// end: the same bits whether the pass is new or replayed.
void RecordMeasured(ColumnPass& pass, const MeasuredGrowth& growth, const Real* ref, Real& exponent,
                    Real& mean_divergence);

// Switches the tangent estimate on, its vector along the diagonal as the
// shadow starts.
void StartTangent(ColumnPass& pass);
// The running tangent estimate of a column.
Real TangentExponent(const ColumnPass& pass);
