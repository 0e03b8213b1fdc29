// The flow engine: the model's equations and their variational equations
// integrated together in double by an adaptive embedded Runge-Kutta method
// (Dormand-Prince 5(4) of Boost.Odeint), with the step size chosen from the
// error of the 32 state components alone, so that the tangent never changes
// the trajectory. A plain record: everything it carries is here.
#pragma once

#include <cstdint>

#include "app/model/flow_derivs.hpp"

// The engine's name in the results file, and its default tolerance.
constexpr const char* FlowMethodName = "dopri5";
constexpr double FlowDefaultTolerance = 1e-8;
// An advance gives up below this share of its span, or after this many
// tries: a collision the method cannot follow.
constexpr double FlowSmallestStepShare = 1e-12;
constexpr std::int64_t FlowMostTries = 1000000;

struct FlowEngine {
  double damping = 0;
  double tolerance = FlowDefaultTolerance;  // absolute and relative, per state component
  FlowVector x{};     // state and tangent
  FlowVector dxdt{};  // their slope at x, which the method reuses as its first stage
  double dt = 0;      // the step the controller proposes next
  std::int64_t steps = 0;     // accepted steps
  std::int64_t rejected = 0;  // steps tried and refused by the error control
};

// Starts the engine at `joined` (state and tangent) with a first proposal of
// `first_step`: the slope is evaluated afresh. Also what a change of the
// state from outside (a fold, a new start) needs.
void FlowStart(FlowEngine& engine, const FlowVector& joined, double first_step);

// Advances by `span` exactly, in as many accepted steps as the error control
// needs, the last one shortened to land on the end. False when it cannot:
// the step has shrunk below 1e-12 of the span (a collision the method cannot
// follow) or a million steps have been tried; the engine is then left where
// it stopped.
bool FlowAdvance(FlowEngine& engine, double span);

// The folds of body 1, as the step makes them, on a state of 32 doubles
// (component i at element i - 1): its x back into [-Pi, Pi] by at most one
// shift each way, its x velocity lowered once beyond 2 Pi. True when the
// state changed, so that its slope must be evaluated afresh.
bool FlowFold(double* state);

// The tangent a trajectory's measurement starts with (32 doubles): along
// the diagonal, as the classic shadow starts, unless every body has the
// same drag per mass (flock damping 0.15: 0.15 / 0.3 = 0.1 / 0.2). There
// the diagonal lies in the plane of moving every body alike, which the
// flow maps onto itself with exponents 0 and -0.5, and a tangent started
// in it never finds the chaos; a fixed irregular direction starts instead.
void FlowTangentStart(double damping, double* tangent);

// The length of the tangent half of a joined vector, its squares summed in
// order.
double FlowTangentLength(const double* joined);

// Multiplies the tangent and its slope by 2^exponent: exact, so the
// engine goes on as if nothing had changed.
void FlowScaleTangent(FlowEngine& engine, int exponent);
