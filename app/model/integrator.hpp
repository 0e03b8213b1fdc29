// One step of the chase model: classic fourth-order Runge-Kutta, and the
// step-doubling step with refinement, Richardson extrapolation and the folds.
#pragma once

#include "runtime/real.hpp"

// Error tolerance of the step-doubling check: the single 1e-8, widened.
constexpr Real StepTolerance = widen(1e-8f);
constexpr int MaxSubSteps = 1000;

// One Runge-Kutta step of length h from y into yout (which may be y). dydx
// receives the slope at y. Vectors are 33 elements with element 0 unused;
// `n` is not used: the model always advances its 32 components. dydx must be
// neither y nor yout. Scratch lives on the stack, so concurrent calls on
// different arrays are safe.
void StepRK4(const Real* y, Real* dydx, int n, Real h, Real* yout);

// One step of length h with an error check by step doubling: when the coarse
// step and two half steps differ by more than the tolerance allows, the step
// is taken again in SubStepCount(err) equal sub-steps; coarse and refined
// results are combined by Richardson extrapolation, then FoldStep applies.
// yout may be y; dydx is scratch and must be neither. `n` as for StepRK4.
// Returns the number of sub-steps of the refined result (2 when the two half
// steps were enough), which tells what the step cost.
int StepAdaptive(const Real* y, Real* dydx, int n, Real h, Real* yout);

// Number of equal sub-steps for a step-doubling error err: the smallest
// integer not below (err / tol)^(1/4) + 1.1 (the single 1.1, widened), at
// most MaxSubSteps; 2 for err = 0. An error that is not a number also gets
// the cap.
int SubStepCount(Real err);

// Folds component 1 into [-Pi, Pi] by at most one shift of 2 Pi each way, and
// lowers component 3 by 2 Pi once when it exceeds 2 Pi. Nothing else changes.
void FoldStep(Real* state);
