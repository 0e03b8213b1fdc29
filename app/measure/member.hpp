// A member of a column: one trajectory's course through its phases, on
// the engine it is handed. It is chaotic until it escapes: by a capture
// (the capture detector's collapse, whose passes are taken back) or by
// settling onto a regular attractor (the settling detector's, whose
// passes belong to the regular phase). A column of one member goes on
// after a capture from a fresh state, as columns always have, and ends
// when it settles; a member of an ensemble ends at either escape and runs
// to its budget otherwise, without the convergence test.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/measure/column_host.hpp"
#include "app/measure/column_pass.hpp"
#include "app/measure/column_result.hpp"
#include "app/measure/episodes.hpp"
#include "app/measure/member_engine.hpp"
#include "app/measure/sweep_settings.hpp"
#include "app/model/capture_detector.hpp"
#include "app/model/settle_detector.hpp"
#include "runtime/random.hpp"

struct MemberSetup {
  std::int32_t column = 0;
  std::int32_t member = 0;
  // Where the member's random draws come from: the program's generator
  // when null (the continued member), else a generator of its own.
  RandomState* generator = nullptr;
  // One of several members: ends at an escape, runs to its budget.
  bool ensemble = false;
};

// Called with every pass's reference state (32 doubles) while a settling is
// suspected, and told when the suspicion ends; may be empty.
struct AttractorObserver {
  virtual ~AttractorObserver() = default;
  virtual void begin() = 0;
  virtual void add(const double* state) = 0;
};

class MemberRun {
 public:
  MemberRun(const MemberSetup& setup, const SweepSettings& settings, ColumnHost& host, const HistoryObserver& history,
            MemberEngine& engine, const FlockModel& model, const FlockState& ref, const SweepCarry& carry);
  MemberRun(const MemberRun&) = delete;
  MemberRun& operator=(const MemberRun&) = delete;

  void watch_attractor(AttractorObserver* observer) { attractor_ = observer; }
  // Conditions the state and starts the engine and the detectors.
  void begin();
  // One pass; none while the member goes on, else how it ended. Esc at a
  // convergence test sets `escaped` and ends nothing.
  std::optional<ColumnEnd> step(bool& escaped);
  // At the member's end: what was under way taken back or certified, and the
  // state back from the engine.
  void finish();
  // The column's result as this member measured it, and its members-file
  // line.
  ColumnResult result(ColumnEnd end) const;
  MemberResult member_result(ColumnEnd end) const;
  // The state the member leaves, for the next column.
  const FlockState& state() const { return pass_.ref; }
  bool settled() const { return settled_.has_value(); }

 private:
  struct Settling {
    std::int32_t from = 0;  // the first pass of the regular motion
    bool chaotic_phase = false;  // chaos was measured before it
    Real regular_exponent = 0;
    std::optional<Real> regular_standard_error;
  };
  SweepCarry& estimate() { return reported_.estimate; }
  bool target() const { return settings_.target_error.has_value(); }
  void start_episode();
  void capture(const CaptureEvent& event);
  // A member of an ensemble ends at its capture: what the collapse added is
  // taken back, and the member stops there.
  void end_at_capture(const CaptureEvent& event);
  void restart_episode();
  std::optional<CaptureEvent> observe();
  std::optional<CaptureEvent> observe_stall();
  std::optional<ColumnEnd> test(bool& escaped);
  // The settling detector's look at a measured pass; the member's end when
  // a settling was certified there.
  std::optional<ColumnEnd> watch_settling(const MeasuredGrowth& growth);
  void suspect(const SettleEvent& event);
  void settle(const SettleEvent& event);
  std::int32_t iteration_of(std::int64_t sample) const;
  ColumnRegime regime() const;
  std::optional<Real> regular_exponent() const;
  std::optional<Real> regular_standard_error() const;

  MemberSetup setup_;
  const SweepSettings& settings_;
  ColumnHost& host_;
  const HistoryObserver& history_;
  MemberEngine& engine_;
  ColumnPass pass_;
  ColumnEstimate reported_;
  double start_ = 0;
  bool detecting_ = false;
  bool watch_captures_ = false;
  CaptureDetector detector_{0.01};
  EpisodeLog log_;
  std::int32_t captures_ = 0;
  std::int32_t exposed_passes_ = 0;
  std::int32_t rated_captures_ = 0;
  double collapse_rate_sum_ = 0;
  std::optional<std::int32_t> captured_from_;  // an ensemble member's collapse start
  bool stalled_ = false;
  SettleDetector settle_{0.01};
  // The pass of each of the settling detector's recent samples.
  std::vector<std::int32_t> sample_passes_;
  // The sums as they stood before a suspected settling's first pass.
  std::optional<MeasureSnapshot> before_settling_;
  std::int32_t suspected_from_ = 0;
  std::optional<Settling> settled_;
  std::int32_t laminar_phases_ = 0;
  AttractorObserver* attractor_ = nullptr;
};
