#include <cmath>
#include <string>
#include <vector>

#include "app/ensemble/attractor.hpp"
#include "app/ensemble/ensemble_column.hpp"
#include "app/ensemble/ensemble_statistics.hpp"
#include "app/measure/parameters.hpp"

namespace {

// A member's time at risk of escaping: from its start to its escape, or to
// where its budget (or its engine) ended it.
Real TimeAtRisk(const MemberResult& m) {
  if (m.escape_time) return *m.escape_time;
  return m.passes * TimeStep;
}

std::string ShareText(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", share);
  return text;
}

int escapes_of(int settled, int captured) { return settled + captured; }

}  // namespace

void SumUpEnsemble(ColumnResult& column) {
  std::vector<MemberResult>& members = column.member_results;
  const int fresh = static_cast<int>(members.size()) - 1;
  column.members = static_cast<std::int32_t>(members.size());
  int chaotic = 0, settled = 0, captured = 0, stalled = 0;
  double at_risk = 0;
  std::vector<double> growths, times;
  for (std::size_t i = 1; i < members.size(); ++i) {
    const MemberResult& m = members[i];
    chaotic += m.fate == MemberFate::Chaotic;
    settled += m.fate == MemberFate::Settled;
    captured += m.fate == MemberFate::Captured;
    stalled += m.fate == MemberFate::Stalled;
    at_risk += static_cast<double>(TimeAtRisk(m));
    growths.push_back(static_cast<double>(m.log_growth));
    times.push_back(static_cast<double>(m.chaotic_time));
  }
  // The column's kind of motion is the ensemble's: chaos that lasted in
  // every fresh member, chaos that ended in some, none measured in any
  // (every one regular from its transient on), or every one captured first.
  int with_chaos = 0;
  for (std::size_t i = 1; i < members.size(); ++i) with_chaos += members[i].chaotic_time > 0;
  column.regime = escapes_of(settled, captured) == 0 ? ColumnRegime::Chaotic
                  : with_chaos > 0                   ? ColumnRegime::Transient
                  : captured == fresh                ? ColumnRegime::Captured
                                                     : ColumnRegime::Regular;
  column.ended_chaotic = chaotic;
  column.ended_settled = settled;
  column.ended_captured = captured;
  column.ended_stalled = stalled;
  const Interval chaotic_share = WilsonInterval(chaotic, fresh);
  const Interval settled_share = WilsonInterval(settled, fresh);
  const Interval captured_share = WilsonInterval(captured, fresh);
  column.chaotic_share_low = chaotic_share.low;
  column.chaotic_share_high = chaotic_share.high;
  column.settled_share_low = settled_share.low;
  column.settled_share_high = settled_share.high;
  column.captured_share_low = captured_share.low;
  column.captured_share_high = captured_share.high;
  const int escapes = escapes_of(settled, captured);
  const RateEstimate rate = PoissonRate(escapes, at_risk);
  column.escapes = escapes;
  column.member_chaotic_time = at_risk;
  if (rate.rate) {
    column.escape_rate = *rate.rate;
    column.escape_rate_low = rate.low;
  }
  if (std::isfinite(rate.high)) column.escape_rate_high = rate.high;
  // The ensemble's exponent of the chaotic phases: the fresh members' log
  // growth over their measured chaotic time.
  double growth = 0, time = 0;
  for (std::size_t i = 0; i < growths.size(); ++i) {
    growth += growths[i];
    time += times[i];
  }
  if (time > 0) column.ensemble_exponent = growth / time;
  if (const std::optional<double> error = JackknifeRatioError(growths, times)) column.ensemble_standard_error = *error;
  // Attractors: every settled member's, the flock that disperses as 0 and
  // the bounded ones labelled in member order from 1; the shares are the
  // fresh members'.
  std::vector<AttractorFeatures> features;
  std::vector<std::size_t> who;
  bool any_dispersing = false;
  for (std::size_t i = 0; i < members.size(); ++i) {
    MemberResult& m = members[i];
    if (m.fate != MemberFate::Settled || !m.period) continue;
    if (m.dispersing) {
      m.attractor = 0;
      any_dispersing = true;
      continue;
    }
    AttractorFeatures f;
    f.period = *m.period;
    f.chaser_distance = m.chaser_distance.value_or(0);
    f.flock_radius = m.flock_radius.value_or(0);
    f.drift_speed = m.drift_speed.value_or(0);
    f.spin = m.spin.value_or(0);
    features.push_back(f);
    who.push_back(i);
  }
  const std::vector<int> labels = ClusterAttractors(features);
  int bounded = 0;
  for (std::size_t k = 0; k < labels.size(); ++k) {
    members[who[k]].attractor = labels[k] + 1;
    bounded = std::max(bounded, labels[k] + 1);
  }
  column.attractors = bounded + (any_dispersing ? 1 : 0);
  std::vector<int> on(static_cast<std::size_t>(bounded + 1), 0);
  for (std::size_t i = 1; i < members.size(); ++i) {
    if (members[i].attractor) ++on[static_cast<std::size_t>(*members[i].attractor)];
  }
  column.attractor_shares.clear();
  for (int label = any_dispersing ? 0 : 1; label <= bounded; ++label) {
    if (!column.attractor_shares.empty()) column.attractor_shares += ';';
    column.attractor_shares += std::to_string(label) + ':' +
                               ShareText(fresh > 0 ? static_cast<double>(on[static_cast<std::size_t>(label)]) / fresh : 0);
  }
}
