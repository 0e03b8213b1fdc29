#include "tools/probe/encounters.hpp"

#include <algorithm>
#include <cmath>

#include "app/measure/parameters.hpp"
#include "app/model/tangent_step.hpp"

int SubStepClass(int k) {
  if (k <= 2) return 0;
  if (k <= 10) return 1;
  if (k <= 100) return 2;
  if (k <= 1000) return 3;
  return 4;
}

Real ChaserClearance(const Real* state) {
  const Real cx = state[ChaserOffset + 1], cy = state[ChaserOffset + 2];
  Real nearest = INFINITY;
  for (int b = 0; b < FlockBodies; ++b) {
    const Real dx = state[ComponentsPerBody * b + 1] - cx, dy = state[ComponentsPerBody * b + 2] - cy;
    nearest = std::min(nearest, std::sqrt(dx * dx + dy * dy));
  }
  return nearest;
}

namespace {

// Scales the tangent (components StateSize+1 .. 2 StateSize) to length 1;
// returns the length it had.
Real normalise_tangent(Real* joined) {
  Real sum = 0;
  for (int i = 1; i <= StateSize; ++i) sum += joined[StateSize + i] * joined[StateSize + i];
  const Real length = std::sqrt(sum);
  for (int i = 1; i <= StateSize; ++i) joined[StateSize + i] /= length;
  return length;
}

// Whether the StateSize values from `values` on are all finite.
bool all_finite(const Real* values) {
  for (int i = 0; i < StateSize; ++i)
    if (!std::isfinite(values[i])) return false;
  return true;
}

}  // namespace

ProbeStats ProbeReference(const FlockModel& model, const FlockState& start, const ProbeSettings& settings) {
  Real joined[TangentStepSize + 1] = {};
  for (int i = 1; i <= StateSize; ++i) {
    joined[i] = start[i];
    joined[StateSize + i] = 1;
  }
  normalise_tangent(joined);
  TangentDraft draft;
  ProbeStats stats;
  stats.closest = INFINITY;
  Real log_sum = 0, near_sum = 0, large_sum = 0;
  CaptureDetector detector(static_cast<double>(TimeStep));
  long watched_from = 0;  // the step before the detector's first sample
  for (long step = 1; step <= settings.steps; ++step) {
    const Real err = TangentStepBegin(model, joined, TimeStep, draft);
    const int k = SubStepCount(err, settings.tolerance, settings.max_sub_steps);
    TangentStepFinish(model, draft, TimeStep, k, joined);
    FoldStep(joined);  // a fold shifts the state; the tangent stays as it is
    const Real growth = std::log(normalise_tangent(joined));
    // Past a state that is not finite every figure would be NaN, and each
    // step would crawl to its sub-step cap: the walk ends there.
    if (!all_finite(joined + 1) || !all_finite(joined + StateSize + 1) || !std::isfinite(growth)) {
      stats.stopped_step = step;
      stats.tangent_stopped = all_finite(joined + 1);
      break;
    }
    log_sum += growth;
    ++stats.sub_steps[SubStepClass(k)];
    stats.largest_sub_steps = std::max(stats.largest_sub_steps, k);
    if (k == settings.max_sub_steps) ++stats.at_cap;
    const Real clearance = ChaserClearance(joined);
    stats.closest = std::min(stats.closest, clearance);
    if (clearance < NearDistance) {
      ++stats.near_steps;
      near_sum += growth;
    }
    if (clearance < CloseDistance) stats.last_close_step = step;
    if (std::optional<CaptureEvent> event = detector.observe(joined, static_cast<double>(model.FlockDamping))) {
      // A collapse that reaches back to the detector's fresh start is the
      // last one going on: it is not declared twice.
      const bool going_on = event->start == 1 && !stats.captures.empty() && stats.captures.back().body == event->body;
      event->start += watched_from;
      event->declared += watched_from;
      if (!going_on) stats.captures.push_back(*event);
      detector.reset();
      watched_from = step;
    }
    if (growth > std::log(LargeGrowth)) {
      ++stats.large_growths;
      large_sum += growth;
    }
  }
  stats.steps = stats.stopped_step != 0 ? stats.stopped_step - 1 : settings.steps;
  const Real time = static_cast<Real>(stats.steps) * TimeStep;
  if (stats.steps > 0) {
    stats.exponent = log_sum / time;
    stats.near_exponent = near_sum / time;
    stats.large_exponent = large_sum / time;
  }
  for (int i = 1; i <= StateSize; ++i) stats.final_state[i] = joined[i];
  return stats;
}
