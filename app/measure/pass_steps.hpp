// The steps of a pass under the measurement options: the reference's step,
// with a tangent vector carried through it, and the shadow's step by the
// reference's own map (its sub-step count and its folds), so that both
// trajectories follow one discrete map and only their states differ.
#pragma once

#include "app/model/integrator.hpp"
#include "app/model/tangent_step.hpp"
#include "runtime/real.hpp"

// The reference's step in two halves: ReferenceBegin takes the coarse and
// half steps and returns the sub-step count, ReferenceFinish refines,
// combines and folds. The state comes out with exactly the bits of
// StepAdaptive; `tangent` (none when null) is carried through the same
// stages.
struct ReferenceStep {
  const FlockModel* model = nullptr;
  Real* state = nullptr;
  Real* tangent = nullptr;
  Real* scratch = nullptr;  // a FlockState's elements
  StepDraft draft;
  TangentDraft tangent_draft;
  Real joined[TangentStepSize + 1];  // state and tangent side by side
};
int ReferenceBegin(ReferenceStep& step);
FoldShifts ReferenceFinish(ReferenceStep& step, int k);

// The shadow's step with the reference's sub-step count k, not folded: the
// reference's fold shifts follow with ApplyFolds.
void ShadowBegin(const FlockModel& model, const Real* shadow, Real* scratch, StepDraft& draft);
void ShadowFinish(const FlockModel& model, StepDraft& draft, Real* scratch, int k, Real* shadow);

// Both steps of a pass on this thread: the reference (with its tangent when
// given), then the shadow, by the reference's map when `robust`, else by its
// own StepAdaptive.
void StepPairAlone(const FlockModel& model, Real* reference, Real* shadow, Real* tangent, bool robust);
