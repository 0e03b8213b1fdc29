// What a sweep is asked to do; what passes from one column to the next is
// in sweep_records.hpp.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "app/measure/column_pass.hpp"
#include "app/measure/column_result.hpp"
#include "app/measure/damping_range.hpp"
#include "app/measure/parameters.hpp"
#include "app/measure/sweep_records.hpp"
#include "app/model/flow_engine.hpp"
#include "runtime/real.hpp"

struct CaptureEvent;
struct SweepSettings;
class ColumnHost;
// Runs one column: its members from the reference state `ref` (left as the
// continued member ended), reporting `carry` where nothing is measured;
// none when Esc ended the run.
using ColumnRunner = std::function<std::optional<ColumnResult>(
    std::int32_t column, const FlockModel& model, FlockState& ref, const SweepCarry& carry,
    const SweepSettings& settings, ColumnHost& host, const HistoryObserver& history)>;
// Told of every capture a column declares, after what was measured from the
// collapse's start (pass `from` on) has been taken back and before the new
// episode starts: the pass holds the column's sums as they now stand.
using CaptureObserver = std::function<void(const CaptureEvent& event, std::int32_t from, const ColumnPass& pass)>;

struct SweepSettings {
  int step = 1;                             // every step-th column from the right
  std::int32_t start_column = FirstColumn;  // the first column evaluated, on the step grid
  std::int32_t end_column = LastColumn;     // no column left of it is evaluated
  DampingRange damping;                     // only columns with damping in this range
  double time_limit = ColumnTimeLimit;      // elapsed seconds per column
  // The measurement options; with none of them the run is the plain sweep.
  bool robust = false;             // the shadow follows the reference's map; large passes measured
  bool tangent = false;            // a second estimate from the tangent dynamics
  std::int32_t passes = 0;         // a column ends after this many passes; 0: no budget
  std::optional<Real> target_error;  // converged when the standard error falls below it
  // The flow engine instead of the step: the reference and its tangent in
  // double by an adaptive method at this tolerance; no shadow.
  bool flow = false;
  double tolerance = FlowDefaultTolerance;
  // With flow: the K largest Lyapunov exponents carried beside the
  // trajectory, the first the column's; 0: none.
  int spectrum = 0;
  // How the two steps of a pass are taken; empty: on this thread, one after
  // the other.
  PassAdvance advance;
  MeasuredAdvance measured_advance;  // with robust or tangent
  CaptureObserver capture_observer;  // may be empty
  // An ensemble column's members (1: the column's one trajectory) and the
  // threads they share; how a column is run (empty: one member).
  std::int32_t members = 1;
  std::uint32_t member_seed = 0;  // mixed into the fresh members' generators
  int threads = 1;
  ColumnRunner run_column;
  // Left to right, from end_column up to start_column.
  bool ascending = false;
};

// Whether a run uses any of the measurement options, and so writes the
// extended results file.
bool MeasurementOptions(const SweepSettings& settings);
