#include "app/lanes/batch_engine.hpp"

#include <cmath>

#include "app/lanes/dopri5_method.hpp"
#include "app/model/flow_engine.hpp"

namespace {

using dopri5::DecreasedStep;
using dopri5::IncreasedStep;

double& Element(double* v, int component, int lane) { return v[component * BatchLanes + lane]; }

void Scatter(double* v, int lane, const double* from) {
  for (int c = 0; c < FlowSize; ++c) v[c * BatchLanes + lane] = from[c];
}

void Gather(const double* v, int lane, double* to, int components) {
  for (int c = 0; c < components; ++c) to[c] = v[c * BatchLanes + lane];
}

// The lane's slope evaluated afresh at its x: the scalar right-hand side,
// whose bits the vector one gives.
void FreshSlope(BatchEngine& engine, int lane) {
  double joined[FlowSize], rates[FlowSize];
  Gather(engine.arrays->x, lane, joined, FlowSize);
  FlowJoinedDerivs(engine.arrays->damping[lane], joined, rates);
  Scatter(engine.arrays->dxdt, lane, rates);
}

void StartLaneAt(BatchEngine& engine, int lane, const double* state) {
  double joined[FlowSize];
  for (int i = 0; i < StateSize; ++i) joined[i] = state[i];
  FlowTangentStart(engine.arrays->damping[lane], joined + StateSize);
  Scatter(engine.arrays->x, lane, joined);
  FreshSlope(engine, lane);
  LaneCourse& c = engine.lanes[lane];
  c.active = true;
  c.t = 0;
  c.tries = 0;
  c.dt = engine.span;
  c.tangent_length = FlowTangentLength(joined);
}

// The lane could not go on: its client hears so, with the state where the
// lane stopped, and may start it again.
void Stall(BatchEngine& engine, LaneClient& client, int lane) {
  LaneCourse& c = engine.lanes[lane];
  c.active = false;
  LaneMark mark;
  mark.ok = false;
  Gather(engine.arrays->x, lane, mark.state.data(), StateSize);
  mark.steps = c.steps;
  mark.rejected = c.rejected;
  client.on_mark(engine, lane, mark);
}

// The lane has landed on its mark: the folds, the checks and the tangent's
// growth as the scalar engine's pass makes them; then its client hears of
// the pass, and the lane's next pass begins.
void Mark(BatchEngine& engine, LaneClient& client, int lane) {
  BatchArrays& a = *engine.arrays;
  LaneCourse& c = engine.lanes[lane];
  LaneMark mark;
  Gather(a.x, lane, mark.state.data(), StateSize);
  if (FlowFold(mark.state.data())) {
    Element(a.x, 0, lane) = mark.state[0];
    Element(a.x, 2, lane) = mark.state[2];
    FreshSlope(engine, lane);
  }
  mark.steps = c.steps;
  mark.rejected = c.rejected;
  // The fold leaves the tangent alone and keeps a finite state finite (and
  // the rest not), so the kernel's figures for the try still hold.
  const double length = std::sqrt(a.squares[lane]);
  if (!(a.finite[lane] == 0 && length > 0 && std::isfinite(length))) {
    Stall(engine, client, lane);
    return;
  }
  mark.log_growth = std::log(length / c.tangent_length);
  // length = m 2^e with m in [1/2, 1): scaled to 2m, in [1, 2), exactly.
  int e = 0;
  std::frexp(length, &e);
  if (1 - e != 0) {
    const double factor = std::ldexp(1.0, 1 - e);
    for (int i = StateSize; i < FlowSize; ++i) {
      Element(a.x, i, lane) *= factor;
      Element(a.dxdt, i, lane) *= factor;
    }
  }
  c.tangent_length = std::ldexp(length, 1 - e);
  c.t = 0;
  c.tries = 0;
  client.on_mark(engine, lane, mark);
}

}  // namespace

BatchEngine::BatchEngine(double pass_span, const BatchKernels& kernels)
    : span(pass_span), kernels(kernels), arrays(std::make_unique<BatchArrays>()) {}

void BatchStart(BatchEngine& engine, int lane, double damping, double tolerance, const double* state) {
  engine.arrays->damping[lane] = damping;
  engine.arrays->tolerance[lane] = tolerance;
  engine.lanes[lane] = LaneCourse{};
  StartLaneAt(engine, lane, state);
}

void BatchRestart(BatchEngine& engine, int lane, const double* state) { StartLaneAt(engine, lane, state); }

void BatchStop(BatchEngine& engine, int lane) { engine.lanes[lane].active = false; }

void BatchLaneJoined(const BatchEngine& engine, int lane, double* joined) {
  Gather(engine.arrays->x, lane, joined, FlowSize);
}

void RunBatch(BatchEngine& engine, LaneClient& client) {
  BatchArrays& a = *engine.arrays;
  const double span = engine.span;
  for (;;) {
    // Each lane's try, chosen as the scalar engine's advance chooses it.
    int trying = 0;
    bool any_active = false;
    for (int lane = 0; lane < BatchLanes; ++lane) {
      LaneCourse& c = engine.lanes[lane];
      a.active[lane] = 0;
      if (!c.active) continue;
      if (c.tries >= FlowMostTries || !(c.dt >= span * FlowSmallestStepShare)) {
        Stall(engine, client, lane);
        any_active = any_active || c.active;
        continue;
      }
      any_active = true;
      const double rest = span - c.t;
      c.last = c.dt >= rest * 0.999;
      c.proposal = c.dt;
      a.step[lane] = c.last ? rest : c.dt;
      a.active[lane] = 1;
      ++trying;
    }
    if (!any_active) return;
    if (trying == 0) continue;
    engine.kernels.try_step(a);
    engine.lane_tries += trying;
    engine.batch_tries += BatchLanes;
    for (int lane = 0; lane < BatchLanes; ++lane) {
      if (a.active[lane] == 0) continue;
      LaneCourse& c = engine.lanes[lane];
      ++c.tries;
      const double step = a.step[lane];
      const double error = a.error[lane];
      if (error > 1.0) {
        ++c.rejected;
        c.dt = DecreasedStep(step, error);
        continue;
      }
      ++c.steps;
      if (c.last) {
        // A shortened last step must not shrink the next pass's first one.
        c.dt = c.proposal;
        Mark(engine, client, lane);
      } else {
        c.t = c.t + step;
        c.dt = IncreasedStep(step, error);
      }
    }
  }
}
