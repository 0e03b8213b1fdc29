// A column's pass under --flow: the reference state and its tangent carried
// by the flow engine through TimeStep of model time, the folds of body 1
// applied at the mark, then the tangent's log growth measured. The exponent
// is the tangent's; there is no shadow trajectory.
#pragma once

#include "app/measure/column_pass.hpp"
#include "app/model/flow_engine.hpp"

struct FlowPass {
  FlowEngine engine;
  double tangent_length = 1;  // the tangent's length when the pass began
};

// Starts a column's engine afresh at the (conditioned) reference state, in
// double, with the tangent along the diagonal, as the shadow starts.
void StartFlow(FlowPass& flow, const FlockModel& model, const FlockState& ref, double tolerance);

// A new start within the column from another state (0-based, 32 doubles):
// the tangent back on the diagonal, the engine's slope evaluated afresh.
void RestartFlow(FlowPass& flow, const double* state);

// The same from a state of the model's type (a new episode of the column):
// the engine's step counts go on.
void RestartFlowAt(FlowPass& flow, const FlockState& ref);

// One pass: the engine advanced to the next mark, then the folds of body 1
// as the step applies them (a fold changes the state, so the engine restarts
// from there). False when the engine cannot go on: the step underflowed, or
// the state or the tangent is no longer finite.
bool AdvanceFlow(FlowPass& flow);

// The reference state at the mark, after the folds: 32 doubles, component i
// at element i - 1.
inline const double* FlowReference(const FlowPass& flow) { return flow.engine.x.data(); }

// Everything of a flow pass after the engine's advance: the tangent's growth
// logged, the tangent scaled back near unit length (by a power of two, so
// the engine's course is unchanged), and after the transient the running
// exponent, divergence and ring of estimates updated as FinishPass does,
// and what was added told in `growth` when given.
PassEnd FinishFlowPass(ColumnPass& pass, FlowPass& flow, Real& exponent, Real& mean_divergence,
                       MeasuredGrowth* growth = nullptr);

// The part of a flow pass after its tangent's growth is known: the
// transient, or the growth recorded as FinishPass records a measured pass,
// and what was added told in `growth` when given.
PassEnd RecordFlowGrowth(ColumnPass& pass, double log_growth, Real& exponent, Real& mean_divergence,
                         MeasuredGrowth* growth = nullptr);

// The reference state back in the model's type, exactly.
void FlowStateTo(const FlowPass& flow, FlockState& ref);
