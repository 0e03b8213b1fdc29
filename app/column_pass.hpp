// One pass of a column: both trajectories advanced by a step, their
// separation measured, the shadow put back at distance Epsilon and, after
// the transient, the growth and the divergence of the flow logged.
#pragma once

#include <cstdint>
#include <functional>

#include "app/batch_means.hpp"
#include "runtime/real.hpp"

// Advances the reference and the shadow state by one step each.
using PassAdvance = std::function<void(Real* reference, Real* shadow)>;

// The running values of one column, all zero at its start.
struct ColumnPass {
  Real* ref = nullptr;         // RefState
  Real* shadow = nullptr;      // ShadowState
  Real* separation = nullptr;  // Separation
  Real* derivs = nullptr;      // Derivs, scratch of the steps
  Real* ring = nullptr;        // EstimateRing
  std::int32_t Iteration = 0;
  std::int32_t MeasuredSteps = 0;
  Real LogSum = 0;
  Real DivergenceSum = 0;
  BatchMeans batch;
};

enum class PassEnd {
  Diverged,    // separation beyond the bound: left to grow, nothing measured
  Coinciding,  // the trajectories coincide: the column ends
  Transient,   // renormalised, not measured
  Measured,    // renormalised and measured
};

// Both steps of a pass: on this thread one after the other when `advance`
// is empty.
void AdvanceBoth(ColumnPass& pass, const PassAdvance& advance);

// Everything of a pass after the steps. A measured pass updates the running
// exponent and divergence and the ring of estimates.
PassEnd FinishPass(ColumnPass& pass, Real& exponent, Real& mean_divergence);
