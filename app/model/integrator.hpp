// One step of the chase model: classic fourth-order Runge-Kutta, and the
// step-doubling step with refinement, Richardson extrapolation and the folds.
#pragma once

#include "app/model/flock_model.hpp"
#include "app/model/step_core.hpp"
#include "runtime/real.hpp"

// Error tolerance of the step-doubling check: the single 1e-8, widened.
constexpr Real StepTolerance = widen(1e-8f);
constexpr int MaxSubSteps = 1000;

// One Runge-Kutta step of the model of length h from y into yout (which may
// be y). dydx receives the slope at y. Vectors are 33 elements with element
// 0 unused (FlockState's layout). dydx must be neither y nor yout. Scratch
// lives on the stack, so concurrent calls on different arrays are safe.
void StepRK4(const FlockModel& model, const Real* y, Real* dydx, Real h, Real* yout);

// One step of length h with an error check by step doubling: when the coarse
// step and two half steps differ by more than the tolerance allows, the step
// is taken again in SubStepCount(err) equal sub-steps; coarse and refined
// results are combined by Richardson extrapolation, then FoldStep applies.
// yout may be y; dydx is scratch and must be neither. Returns the number of
// sub-steps of the refined result (2 when the two half steps were enough),
// which tells what the step cost.
int StepAdaptive(const FlockModel& model, const Real* y, Real* dydx, Real h, Real* yout);

// Number of equal sub-steps for a step-doubling error err: the smallest
// integer not below (err / tol)^(1/4) + 1.1 (the single 1.1, widened), at
// most MaxSubSteps; 2 for err = 0. An error that is not a number also gets
// the cap.
int SubStepCount(Real err);
// The same rule for another tolerance and cap, for studies of how a
// measurement depends on them; SubStepCount(err) is this with StepTolerance
// and MaxSubSteps.
int SubStepCount(Real err, Real tolerance, int cap);

// The 2 Pi shifts that a fold applied.
struct FoldShifts {
  bool down1 = false;  // component 1 lowered
  bool up1 = false;    // component 1 raised
  bool down3 = false;  // component 3 lowered
};

// Folds component 1 into [-Pi, Pi] by at most one shift of 2 Pi each way, and
// lowers component 3 by 2 Pi once when it exceeds 2 Pi. Nothing else changes.
FoldShifts FoldStep(Real* state);
// Applies the shifts another state's fold made, whatever this state holds.
void ApplyFolds(Real* state, FoldShifts shifts);

// StepAdaptive in two halves, so that a second state can be advanced by the
// same map: StepBegin takes the coarse and the two half steps and returns the
// error that SubStepCount turns into k; StepFinish refines with a given k and
// combines, without folding. StepAdaptive is StepBegin, SubStepCount,
// StepFinish and FoldStep.
using StepDraft = step_core::Draft<StateSize>;
Real StepBegin(const FlockModel& model, const Real* y, Real* dydx, Real h, StepDraft& draft);
// StepBegin without the half steps, for a step whose k, above 2, is known:
// its refinement replaces them.
void StepBeginCoarse(const FlockModel& model, const Real* y, Real h, StepDraft& draft);
void StepFinish(const FlockModel& model, StepDraft& draft, Real* dydx, Real h, int k, Real* yout);
