#include "app/pass_steps.hpp"

#include "app/parameters.hpp"

int ReferenceBegin(ReferenceStep& s) {
  if (!s.tangent) return SubStepCount(StepBegin(s.state, s.scratch, TimeStep, s.draft));
  for (int i = 1; i <= StateSize; ++i) {
    s.joined[i] = s.state[i];
    s.joined[StateSize + i] = s.tangent[i];
  }
  return SubStepCount(TangentStepBegin(s.joined, TimeStep, s.tangent_draft));
}

FoldShifts ReferenceFinish(ReferenceStep& s, int k) {
  if (!s.tangent) {
    StepFinish(s.draft, s.scratch, TimeStep, k, s.state);
  } else {
    TangentStepFinish(s.tangent_draft, TimeStep, k, s.joined);
    for (int i = 1; i <= StateSize; ++i) {
      s.state[i] = s.joined[i];
      s.tangent[i] = s.joined[StateSize + i];
    }
  }
  return FoldStep(s.state);
}

void ShadowBegin(const Real* shadow, Real* scratch, StepDraft& draft) { StepBegin(shadow, scratch, TimeStep, draft); }

void ShadowFinish(StepDraft& draft, Real* scratch, int k, Real* shadow) {
  StepFinish(draft, scratch, TimeStep, k, shadow);
}

void StepPairAlone(Real* reference, Real* shadow, Real* tangent, bool robust) {
  Real reference_scratch[33];
  ReferenceStep step;
  step.state = reference;
  step.tangent = tangent;
  step.scratch = reference_scratch;
  const int k = ReferenceBegin(step);
  const FoldShifts folds = ReferenceFinish(step, k);
  Real shadow_scratch[33];
  if (!robust) {
    StepAdaptive(shadow, shadow_scratch, StateSize, TimeStep, shadow);
    return;
  }
  StepDraft draft;
  if (k > 2) {
    StepBeginCoarse(shadow, TimeStep, draft);
  } else {
    ShadowBegin(shadow, shadow_scratch, draft);
  }
  ShadowFinish(draft, shadow_scratch, k, shadow);
  ApplyFolds(shadow, folds);
}
