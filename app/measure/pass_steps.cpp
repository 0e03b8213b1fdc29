#include "app/measure/pass_steps.hpp"

#include "app/measure/parameters.hpp"

int ReferenceBegin(ReferenceStep& s) {
  if (!s.tangent) return SubStepCount(StepBegin(*s.model, s.state, s.scratch, TimeStep, s.draft));
  for (int i = 1; i <= StateSize; ++i) {
    s.joined[i] = s.state[i];
    s.joined[StateSize + i] = s.tangent[i];
  }
  return SubStepCount(TangentStepBegin(*s.model, s.joined, TimeStep, s.tangent_draft));
}

FoldShifts ReferenceFinish(ReferenceStep& s, int k) {
  if (!s.tangent) {
    StepFinish(*s.model, s.draft, s.scratch, TimeStep, k, s.state);
  } else {
    TangentStepFinish(*s.model, s.tangent_draft, TimeStep, k, s.joined);
    for (int i = 1; i <= StateSize; ++i) {
      s.state[i] = s.joined[i];
      s.tangent[i] = s.joined[StateSize + i];
    }
  }
  return FoldStep(s.state);
}

void ShadowBegin(const FlockModel& model, const Real* shadow, Real* scratch, StepDraft& draft) {
  StepBegin(model, shadow, scratch, TimeStep, draft);
}

void ShadowFinish(const FlockModel& model, StepDraft& draft, Real* scratch, int k, Real* shadow) {
  StepFinish(model, draft, scratch, TimeStep, k, shadow);
}

void StepPairAlone(const FlockModel& model, Real* reference, Real* shadow, Real* tangent, bool robust) {
  FlockState reference_scratch;
  ReferenceStep step;
  step.model = &model;
  step.state = reference;
  step.tangent = tangent;
  step.scratch = reference_scratch.data();
  const int k = ReferenceBegin(step);
  const FoldShifts folds = ReferenceFinish(step, k);
  FlockState shadow_scratch;
  if (!robust) {
    StepAdaptive(model, shadow, shadow_scratch.data(), TimeStep, shadow);
    return;
  }
  StepDraft draft;
  if (k > 2) {
    StepBeginCoarse(model, shadow, TimeStep, draft);
  } else {
    ShadowBegin(model, shadow, shadow_scratch.data(), draft);
  }
  ShadowFinish(model, draft, shadow_scratch.data(), k, shadow);
  ApplyFolds(shadow, folds);
}
