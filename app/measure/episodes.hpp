// A column's episodes under capture detection. A captured pair's collapse is
// no chaos of the model, and no step follows it for long, so what a column
// measured from a collapse's start on is taken back, and the column goes on
// from a fresh state.
//
// Taking back is exact: the log keeps, for the last stretch of the episode,
// what every measured pass added (with the reference state its divergence
// sample was taken from) and, every SnapshotInterval passes, the column's
// sums as they stood. Going back restores the latest snapshot before the
// collapse's start and replays the logged passes up to it, so the sums come
// out with the bits they had then. Nothing here depends on how a pass steps.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "app/measure/column_pass.hpp"
#include "app/measure/sweep_settings.hpp"

constexpr std::int32_t SnapshotInterval = 100;

// What a column reports as it stands, besides its pass's sums.
struct ColumnEstimate {
  SweepCarry estimate;
  std::optional<Real> extrapolated;  // with an error target
};

// A convergence test's update of the estimate: from the 1999th measured
// pass on, the extrapolation of the ring (kept apart with an error target).
void EstimateAtTest(const ColumnPass& pass, bool target, ColumnEstimate& e);
// Whether a measured pass is followed by a convergence test.
inline bool TestDue(const ColumnPass& pass) { return pass.MeasuredSteps % BufferLength == BufferLength - 1; }

struct MeasureSnapshot {
  std::int32_t iteration = 0;  // taken after this pass
  std::int32_t MeasuredSteps = 0;
  Real LogSum = 0;
  Real DivergenceSum = 0;
  BatchMeans batch;
  std::array<Real, BufferLength> ring{};
  std::int32_t LargePasses = 0;
  Real TangentLogSum = 0;
  BatchMeans tangent_batch;
  ColumnEstimate reported;
};

struct MeasuredRecord {
  std::int32_t iteration = 0;
  MeasuredGrowth growth;
};

struct EpisodeLog {
  std::int32_t reach = 0;  // passes that may be taken back
  std::deque<MeasureSnapshot> snapshots;
  std::deque<MeasuredRecord> records;
  // The reference state of each record, which its divergence sample is
  // taken from; not kept under --flow, whose divergence is the flow's.
  std::deque<FlockState> refs;
};

// Starts the log of an episode whose first pass follows the pass's current
// one; `reach`: how many passes back a collapse may have begun.
void StartEpisodeLog(EpisodeLog& log, const ColumnPass& pass, const ColumnEstimate& reported, std::int32_t reach);
// Logs the pass just finished: its measured part when it was measured, and
// a snapshot when one is due (after its convergence test, if any).
void LogPass(EpisodeLog& log, const ColumnPass& pass, const MeasuredGrowth* measured,
             const ColumnEstimate& reported);
// Takes back every measured pass from pass `from` on. False when the log no
// longer reaches back that far (it always does for from > current - reach).
bool TakeBack(const EpisodeLog& log, ColumnPass& pass, ColumnEstimate& reported, bool target, std::int32_t from);
// The sums as they stood before pass `from`, leaving the pass as it is;
// none when the log no longer reaches back that far.
std::optional<MeasureSnapshot> SumsBefore(const EpisodeLog& log, const ColumnPass& pass, const ColumnEstimate& reported,
                                          bool target, std::int32_t from);
// Puts sums of a snapshot back.
void RestoreSums(const MeasureSnapshot& sums, ColumnPass& pass, ColumnEstimate& reported);
