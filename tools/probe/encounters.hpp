// Follows a reference trajectory step by step with a tangent vector, as the
// sweep's --tangent estimate does, and records what each step cost and where
// the chaser was: the sub-step counts, the chaser's closest approach to a
// flock body, and how much of the tangent's growth happened close to one.
// The step tolerance and the sub-step cap can differ from the sweep's, to
// see whether a measurement depends on them.
#pragma once

#include <array>
#include <vector>

#include "app/model/capture_detector.hpp"
#include "app/model/flock_model.hpp"
#include "app/model/integrator.hpp"
#include "runtime/real.hpp"

struct ProbeSettings {
  long steps = 400000;
  Real tolerance = StepTolerance;
  int max_sub_steps = MaxSubSteps;
};

// A step "near" ends with the chaser within NearDistance of a flock body; a
// "close" one within CloseDistance. A "large growth" stretches the tangent
// by more than LargeGrowth in one step.
constexpr Real NearDistance = 0.1L;
constexpr Real CloseDistance = 0.01L;
constexpr Real LargeGrowth = 1e4L;

// Sub-step counts in classes: 2, 3-10, 11-100, 101-1000, above 1000.
constexpr int SubStepClasses = 5;
int SubStepClass(int k);

struct ProbeStats {
  long steps = 0;
  Real exponent = 0;  // the tangent's log growth per unit time
  std::array<long, SubStepClasses> sub_steps{};
  int largest_sub_steps = 0;
  long at_cap = 0;  // steps whose count reached the cap
  Real closest = 0;  // the chaser's smallest distance to a flock body at a step's end
  long near_steps = 0;
  Real near_exponent = 0;  // the part of `exponent` those steps carry
  long large_growths = 0;
  Real large_exponent = 0;
  long last_close_step = 0;  // 1-based; 0 when no step ended close
  // The captures the sweep's detector declares along the trajectory, which
  // goes on after each (the detector starts afresh); their samples count
  // the steps from the start.
  std::vector<CaptureEvent> captures;
  FlockState final_state{};
  // The step after which the state, or its tangent, was no longer finite
  // (a body on another, values beyond what the model can take): the walk
  // stops there, its counts and exponents covering the steps before it,
  // `steps` of them. 0 when every step ended finite.
  long stopped_step = 0;
  bool tangent_stopped = false;  // the tangent, while the state was still finite
};

// The chaser's distance to the nearest flock body.
Real ChaserClearance(const Real* state);

// `steps` steps of TimeStep from `start`, the tangent starting along the
// diagonal (every component equal) and normalised after every step.
ProbeStats ProbeReference(const FlockModel& model, const FlockState& start, const ProbeSettings& settings);
