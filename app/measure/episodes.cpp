#include "app/measure/episodes.hpp"

#include "app/model/converged_estimate.hpp"

void EstimateAtTest(const ColumnPass& pass, bool target, ColumnEstimate& e) {
  if (pass.MeasuredSteps < BufferLength) return;
  if (target) {
    Real limit = 0;
    ConvergedEstimate(pass.ring.data(), BufferLength - 1, limit, e.estimate.Spread);
    e.extrapolated = limit;
  } else {
    ConvergedEstimate(pass.ring.data(), BufferLength - 1, e.estimate.Exponent, e.estimate.Spread);
  }
}

namespace {

MeasureSnapshot SnapshotOf(const ColumnPass& pass, const ColumnEstimate& reported) {
  MeasureSnapshot s;
  s.iteration = pass.Iteration;
  s.MeasuredSteps = pass.MeasuredSteps;
  s.LogSum = pass.LogSum;
  s.DivergenceSum = pass.DivergenceSum;
  s.batch = pass.batch;
  s.ring = pass.ring;
  s.LargePasses = pass.LargePasses;
  s.TangentLogSum = pass.TangentLogSum;
  s.tangent_batch = pass.tangent_batch;
  s.reported = reported;
  return s;
}

}  // namespace

void RestoreSums(const MeasureSnapshot& s, ColumnPass& pass, ColumnEstimate& reported) {
  pass.MeasuredSteps = s.MeasuredSteps;
  pass.LogSum = s.LogSum;
  pass.DivergenceSum = s.DivergenceSum;
  pass.batch = s.batch;
  pass.ring = s.ring;
  pass.LargePasses = s.LargePasses;
  pass.TangentLogSum = s.TangentLogSum;
  pass.tangent_batch = s.tangent_batch;
  reported = s.reported;
}

namespace {

// Drops what no collapse can reach back to: every snapshot but the latest
// at or before the reach, and the records before it.
void Forget(EpisodeLog& log, std::int32_t now) {
  const std::int32_t horizon = now - log.reach;
  while (log.snapshots.size() > 1 && log.snapshots[1].iteration <= horizon) log.snapshots.pop_front();
  while (!log.records.empty() && log.records.front().iteration <= log.snapshots.front().iteration) {
    log.records.pop_front();
    if (!log.refs.empty()) log.refs.pop_front();
  }
}

}  // namespace

void StartEpisodeLog(EpisodeLog& log, const ColumnPass& pass, const ColumnEstimate& reported, std::int32_t reach) {
  log.reach = reach;
  log.records.clear();
  log.refs.clear();
  log.snapshots.clear();
  log.snapshots.push_back(SnapshotOf(pass, reported));
}

void LogPass(EpisodeLog& log, const ColumnPass& pass, const MeasuredGrowth* measured,
             const ColumnEstimate& reported) {
  if (measured) {
    log.records.push_back(MeasuredRecord{pass.Iteration, *measured});
    if (!pass.flow) log.refs.push_back(pass.ref);
  }
  if ((pass.Iteration - pass.EpisodeStart) % SnapshotInterval == 0) {
    log.snapshots.push_back(SnapshotOf(pass, reported));
    Forget(log, pass.Iteration);
  }
}

bool TakeBack(const EpisodeLog& log, ColumnPass& pass, ColumnEstimate& reported, bool target, std::int32_t from) {
  const MeasureSnapshot* base = nullptr;
  for (const MeasureSnapshot& s : log.snapshots) {
    if (s.iteration < from) base = &s;
  }
  if (!base) return false;
  RestoreSums(*base, pass, reported);
  for (std::size_t k = 0; k < log.records.size(); ++k) {
    const MeasuredRecord& r = log.records[k];
    if (r.iteration <= base->iteration) continue;
    if (r.iteration >= from) break;
    const Real* ref = pass.flow ? pass.ref.data() : log.refs[k].data();
    RecordMeasured(pass, r.growth, ref, reported.estimate.Exponent, reported.estimate.MeanDivergence);
    if (TestDue(pass)) EstimateAtTest(pass, target, reported);
  }
  return true;
}

std::optional<MeasureSnapshot> SumsBefore(const EpisodeLog& log, const ColumnPass& pass, const ColumnEstimate& reported,
                                          bool target, std::int32_t from) {
  ColumnPass then = pass;
  ColumnEstimate reported_then = reported;
  if (!TakeBack(log, then, reported_then, target, from)) return std::nullopt;
  return SnapshotOf(then, reported_then);
}
