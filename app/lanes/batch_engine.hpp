// The batch engine: eight trajectories of the flow engine integrated at once,
// one per vector lane, each with its own adaptive step, its own passes and
// its own course. A lane does exactly what the scalar flow engine and its
// pass do for one trajectory (the same method, error control on the 32
// state components, every pass landing on its mark, the folds of body 1
// there, the tangent's growth logged and the tangent rescaled by a power of
// two, the same stall limits), with the same bits: the scalar engine is its
// oracle.
//
// A lane that reaches its mark does not wait for the others: its client is
// told at once and the lane goes on to its next pass (or restarts, or
// stops) in the next try, so the vectors stay busy while any lane has work.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "app/lanes/batch_kernels.hpp"

// What a lane's pass ended with.
struct LaneMark {
  // False when the lane could not go on: its step shrank below the stall
  // limit, it tried a million times in one pass, or its state or tangent is
  // no longer finite. The lane then stops unless it is restarted.
  bool ok = true;
  double log_growth = 0;  // ln of the tangent's growth over the pass
  std::array<double, StateSize> state{};  // where the pass ended, after the folds
  std::int64_t steps = 0;     // accepted steps since the lane's start
  std::int64_t rejected = 0;  // refused ones
};

struct BatchEngine;

// Who hears of the marks: a lane's client may restart or stop the lane
// within the call; otherwise the lane goes on.
class LaneClient {
 public:
  virtual ~LaneClient() = default;
  virtual void on_mark(BatchEngine& engine, int lane, const LaneMark& mark) = 0;
};

// Each lane's course, kept in scalars beside the vectors.
struct LaneCourse {
  bool active = false;
  double t = 0;      // model time into the pass
  double dt = 0;     // the step the controller proposes next
  double proposal = 0;
  bool last = false;  // the try under way ends the pass
  std::int64_t tries = 0;  // in this pass
  std::int64_t steps = 0;
  std::int64_t rejected = 0;
  double tangent_length = 1;  // at the pass's start
};

struct BatchEngine {
  explicit BatchEngine(double pass_span, const BatchKernels& kernels = BestBatchKernels());
  double span;
  BatchKernels kernels;
  std::unique_ptr<BatchArrays> arrays;
  std::array<LaneCourse, BatchLanes> lanes{};
  // Lane-tries that did work, and tries of the batch as a whole times the
  // lanes: their ratio is the lanes' use.
  std::int64_t lane_tries = 0;
  std::int64_t batch_tries = 0;
};

// Starts lane `lane` at `state` (32 doubles) at flock damping `damping`,
// the tangent along the diagonal, its step counts from zero.
void BatchStart(BatchEngine& engine, int lane, double damping, double tolerance, const double* state);
// A new start of the lane from `state`: its damping, tolerance and step
// counts go on.
void BatchRestart(BatchEngine& engine, int lane, const double* state);
void BatchStop(BatchEngine& engine, int lane);

// The lane's state and tangent, gathered (64 doubles).
void BatchLaneJoined(const BatchEngine& engine, int lane, double* joined);

// Runs every active lane, pass after pass, telling `client` of each mark,
// until no lane is active.
void RunBatch(BatchEngine& engine, LaneClient& client);
