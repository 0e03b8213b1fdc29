#include "app/measure/member.hpp"

#include <algorithm>
#include <cmath>

#include "app/measure/column.hpp"

namespace {

constexpr std::int32_t IterationCeiling = 2000000000;
constexpr std::int32_t MinimumTargetBlocks = 20;

// Enough blocks for the batch-means standard error to be trusted, and below
// the target.
bool ErrorTargetMet(const BatchMeans& batch, Real target) {
  const std::optional<Real> error = batch_standard_error(batch);
  return batch.blocks >= MinimumTargetBlocks && error && *error < target;
}

// The sums before a settling hold a chaotic phase: a window's time of it,
// growing faster than the settling rate and beyond three standard errors.
bool ChaoticPhase(const MeasureSnapshot& before) {
  const Real time = before.MeasuredSteps * TimeStep;
  if (time < static_cast<Real>(SettleWindow)) return false;
  const Real exponent = before.LogSum / time;
  const std::optional<Real> error = batch_standard_error(before.batch);
  return exponent > static_cast<Real>(SettleRate) && (!error || exponent > 3 * *error);
}

}  // namespace

MemberRun::MemberRun(const MemberSetup& setup, const SweepSettings& settings, ColumnHost& host,
                     const HistoryObserver& history, MemberEngine& engine, const FlockModel& model,
                     const FlockState& ref, const SweepCarry& carry)
    : setup_(setup), settings_(settings), host_(host), history_(history), engine_(engine), reported_{carry, {}} {
  pass_.model = model;
  pass_.ref = ref;
  pass_.robust = settings.robust;
  pass_.flow = settings.flow;
}

void MemberRun::begin() {
  // Under --flow the engine carries the tangent; the step's stays off.
  if (settings_.tangent && !settings_.flow) StartTangent(pass_);
  ConditionColumn(pass_.ref.data(), pass_.shadow.data(), setup_.generator);
  engine_.start(pass_);
  detecting_ = MeasurementOptions(settings_);
  if (detecting_) {
    const double damping = static_cast<double>(pass_.model.FlockDamping);
    detector_ = CaptureDetector(static_cast<double>(TimeStep), CaptureLookBackAt(damping));
    // Where the pair's drag is not positive no capture lasts: the detector
    // never fires, and needs no look.
    watch_captures_ = PairDrag(damping) > 0;
    settle_ = SettleDetector(static_cast<double>(TimeStep));
    sample_passes_.assign(static_cast<std::size_t>(settle_.reach() + 2), 0);
    start_episode();
  }
  start_ = host_.seconds();
}

void MemberRun::start_episode() {
  pass_.EpisodeStart = pass_.Iteration;
  detector_.reset();
  settle_.reset();
  before_settling_.reset();
  // The log reaches back as far as either detector looks.
  const std::int64_t reach = std::max<std::int64_t>(detector_.reach(), settle_.reach());
  StartEpisodeLog(log_, pass_, reported_, static_cast<std::int32_t>(reach) + 1);
}

std::optional<CaptureEvent> MemberRun::observe() {
  return detector_.observe_sample(engine_.sample(pass_), static_cast<double>(pass_.model.FlockDamping));
}

std::optional<CaptureEvent> MemberRun::observe_stall() {
  if (!detecting_ || !watch_captures_) return std::nullopt;
  return detector_.stalled_sample(engine_.sample(pass_), static_cast<double>(pass_.model.FlockDamping));
}

void MemberRun::capture(const CaptureEvent& event) {
  const std::int32_t from = pass_.EpisodeStart + static_cast<std::int32_t>(event.start);
  // The log reaches back as far as the detector looks, so this always finds
  // its snapshot.
  TakeBack(log_, pass_, reported_, target(), from);
  engine_.take_back(from);
  if (settings_.capture_observer && !setup_.generator) settings_.capture_observer(event, from, pass_);
  ++captures_;
  exposed_passes_ += from - 1 - pass_.EpisodeStart;
  if (!std::isnan(event.collapse_rate)) {
    ++rated_captures_;
    collapse_rate_sum_ += event.collapse_rate;
  }
}

void MemberRun::end_at_capture(const CaptureEvent& event) {
  capture(event);
  captured_from_ = pass_.EpisodeStart + static_cast<std::int32_t>(event.start);
}

std::optional<ColumnEnd> MemberRun::test(bool& escaped) {
  // From the 1999th measured pass on, the ring holds the last 1000 running
  // estimates in time order.
  const std::int32_t measured = pass_.MeasuredSteps;
  const Real running = estimate().Exponent;
  const bool tested = measured >= BufferLength;
  // With an error target the exponent stays the running mean, the value its
  // standard error belongs to; the extrapolation is kept apart.
  EstimateAtTest(pass_, target(), reported_);
  if (history_) {
    history_(HistoryPoint{setup_.column, measured, running, tested,
                          target() && tested ? *reported_.extrapolated : estimate().Exponent, estimate().Spread});
  }
  if (!tested) return std::nullopt;
  if (host_.escape_pressed()) {
    escaped = true;
    return std::nullopt;
  }
  // The members of an ensemble run to their budgets: the column's answer is
  // theirs together.
  if (setup_.ensemble) return std::nullopt;
  const bool converged = target() ? ErrorTargetMet(pass_.batch, *settings_.target_error)
                                  : estimate().Spread < SpreadTolerance;
  if (converged) return ColumnEnd::Converged;
  return std::nullopt;
}

std::int32_t MemberRun::iteration_of(std::int64_t sample) const {
  return sample_passes_[static_cast<std::size_t>(sample % static_cast<std::int64_t>(sample_passes_.size()))];
}

std::optional<ColumnEnd> MemberRun::watch_settling(const MeasuredGrowth& growth) {
  if (settled_) return std::nullopt;
  const std::optional<SettleEvent> event = settle_.observe(static_cast<double>(growth.log_growth));
  sample_passes_[static_cast<std::size_t>(settle_.samples() % static_cast<std::int64_t>(sample_passes_.size()))] =
      pass_.Iteration;
  if (!event) {
    if (attractor_ && settle_.suspecting()) {
      double state[StateSize];
      engine_.state(pass_, state);
      attractor_->add(state);
    }
    return std::nullopt;
  }
  switch (event->kind) {
    case SettleEvent::Kind::Suspected:
      suspect(*event);
      return std::nullopt;
    case SettleEvent::Kind::Laminar:
      ++laminar_phases_;
      before_settling_.reset();
      return std::nullopt;
    case SettleEvent::Kind::Settled:
      settle(*event);
      // A column of one member that was regular throughout goes on to its
      // usual end, every measured pass its regular attractor's; one that
      // settled after chaos has nothing more to measure.
      if (!setup_.ensemble && !settled_->chaotic_phase) return std::nullopt;
      return ColumnEnd::Settled;
  }
  return std::nullopt;
}

// Apart from the pass's look, so that the sums it copies (a ring of a
// thousand estimates) do not weigh on every pass's stack frame.
[[gnu::noinline]] void MemberRun::suspect(const SettleEvent& event) {
  suspected_from_ = iteration_of(event.start);
  before_settling_ = SumsBefore(log_, pass_, reported_, target(), suspected_from_);
  if (attractor_) attractor_->begin();
}

void MemberRun::settle(const SettleEvent& event) {
  Settling s;
  // Where the suspicion put the start: the detector's samples of then may
  // have left the ring since.
  s.from = suspected_from_;
  // Chaos is a phase of its own only if it lasted a window and grew
  // clearly: a shorter or flatter start is the approach from the column's
  // first state (or from a neighbouring orbit) to the attractor.
  if (before_settling_ && ChaoticPhase(*before_settling_)) {
    // The chaos measured before the settling is the figure; what came after
    // belongs to the regular attractor.
    RestoreSums(*before_settling_, pass_, reported_);
    engine_.take_back(suspected_from_);
    s.chaotic_phase = true;
    s.regular_exponent = event.regular_exponent;
    if (event.regular_standard_error) s.regular_standard_error = *event.regular_standard_error;
  }
  settled_ = s;
}

std::optional<ColumnEnd> MemberRun::step(bool& escaped) {
  ++pass_.Iteration;
  const bool budget_spent = settings_.passes > 0 && pass_.Iteration >= settings_.passes;
  if (!engine_.advance(pass_)) {
    // The engine stopped in a pair it cannot follow: a capture, when the
    // detector sees one there, and the pass is spent on it.
    const std::optional<CaptureEvent> sunk = observe_stall();
    if (!sunk) return ColumnEnd::Stalled;
    if (setup_.ensemble) {
      end_at_capture(*sunk);
      return ColumnEnd::Captured;
    }
    capture(*sunk);
    restart_episode();
    return budget_spent ? std::optional(ColumnEnd::PassLimit) : std::nullopt;
  }
  if (host_.seconds() - start_ > settings_.time_limit) {
    host_.time_limit_reached();
    return ColumnEnd::TimeLimit;
  }
  MeasuredGrowth growth;
  const PassEnd pass_end = engine_.finish(pass_, estimate(), &growth);
  std::optional<CaptureEvent> captured;
  if (detecting_ && watch_captures_ && pass_end != PassEnd::Coinciding) captured = observe();
  if (captured) {
    if (setup_.ensemble) {
      end_at_capture(*captured);
      return ColumnEnd::Captured;
    }
    capture(*captured);
    restart_episode();
  } else {
    // A diverged pass ends here: no test, and not even the iteration ceiling.
    if (pass_end == PassEnd::Diverged) {
      if (budget_spent) return ColumnEnd::PassLimit;
      return std::nullopt;
    }
    if (pass_end == PassEnd::Coinciding) return ColumnEnd::Coinciding;
    if (pass_end == PassEnd::Measured && TestDue(pass_)) {
      const std::optional<ColumnEnd> end = test(escaped);
      if (detecting_ && !escaped) LogPass(log_, pass_, &growth, reported_);
      if (end || escaped) return end;
    } else if (detecting_) {
      LogPass(log_, pass_, pass_end == PassEnd::Measured ? &growth : nullptr, reported_);
    }
    if (detecting_ && pass_end == PassEnd::Measured) {
      if (const std::optional<ColumnEnd> end = watch_settling(growth)) return end;
    }
  }
  if (pass_.Iteration > IterationCeiling) {
    host_.iteration_ceiling_reached();
    return ColumnEnd::IterationCeiling;
  }
  if (budget_spent) return ColumnEnd::PassLimit;
  return std::nullopt;
}

// A fresh episode after a capture, set up as a column starts.
void MemberRun::restart_episode() {
  pass_.ref = FreshState(setup_.generator);
  if (pass_.with_tangent) StartTangent(pass_);
  ConditionColumn(pass_.ref.data(), pass_.shadow.data(), setup_.generator);
  engine_.restart(pass_);
  start_episode();
}

// A collapse under way when the member ends is not declared a capture, but
// what was measured from its start is taken back all the same: the figures
// never hold a collapse. A settling still being certified is judged on what
// was seen of it.
void MemberRun::finish() {
  if (detecting_ && !captured_from_) {
    std::int32_t end = pass_.Iteration;
    if (!settled_) {
      const std::optional<CaptureEvent> under_way = detector_.pending(static_cast<double>(pass_.model.FlockDamping));
      if (under_way) {
        end = pass_.EpisodeStart + static_cast<std::int32_t>(under_way->start) - 1;
        TakeBack(log_, pass_, reported_, target(), end + 1);
        engine_.take_back(end + 1);
      } else if (const std::optional<SettleEvent> e = settle_.pending();
                 e && e->kind == SettleEvent::Kind::Settled) {
        settle(*e);
      }
    }
    if (settled_) end = std::min(end, settled_->from - 1);
    exposed_passes_ += end - pass_.EpisodeStart;
  }
  engine_.stop(pass_);
  // A continued member whose pair collapsed leaves the next column a fresh
  // state, as a column goes on after a capture.
  if (captured_from_ && !setup_.generator) pass_.ref = FreshState(nullptr);
}

// Without a chaotic phase every measured pass is the regular motion's;
// after one, the detector measured the attractor over its certification.
std::optional<Real> MemberRun::regular_exponent() const {
  if (settled_->chaotic_phase) return settled_->regular_exponent;
  if (pass_.MeasuredSteps == 0) return std::nullopt;
  return pass_.LogSum / (pass_.MeasuredSteps * TimeStep);
}

std::optional<Real> MemberRun::regular_standard_error() const {
  if (settled_->chaotic_phase) return settled_->regular_standard_error;
  return batch_standard_error(pass_.batch);
}

ColumnRegime MemberRun::regime() const {
  if (settled_) return settled_->chaotic_phase ? ColumnRegime::Transient : ColumnRegime::Regular;
  if (captures_ == 0) return ColumnRegime::Chaotic;
  return pass_.MeasuredSteps > 0 ? ColumnRegime::Transient : ColumnRegime::Captured;
}

ColumnResult MemberRun::result(ColumnEnd end) const {
  ColumnResult r;
  r.column = setup_.column;
  r.damping = pass_.model.FlockDamping;
  r.exponent = reported_.estimate.Exponent;
  r.spread = reported_.estimate.Spread;
  r.mean_divergence = reported_.estimate.MeanDivergence;
  r.end = end;
  r.passes = pass_.Iteration;
  r.measured_passes = pass_.MeasuredSteps;
  r.seconds = host_.seconds() - start_;
  r.standard_error = batch_standard_error(pass_.batch);
  r.blocks = pass_.batch.blocks;
  if (settings_.robust) r.large_passes = pass_.LargePasses;
  if (target()) r.extrapolated = reported_.extrapolated;
  if (settings_.tangent) {
    if (pass_.MeasuredSteps > 0) r.tangent_exponent = TangentExponent(pass_);
    r.tangent_standard_error = batch_standard_error(pass_.tangent_batch);
  }
  if (detecting_) {
    r.captures = captures_;
    r.regime = regime();
    const bool chaos = !settled_ || settled_->chaotic_phase;
    r.chaotic_time = chaos ? pass_.MeasuredSteps * TimeStep : 0;
    r.capture_rate = captures_ / (exposed_passes_ * TimeStep);
    if (rated_captures_ > 0) r.collapse_rate = static_cast<Real>(collapse_rate_sum_ / rated_captures_);
    if (settled_) {
      r.settled_time = (settled_->from - 1) * TimeStep;
      r.regular_exponent = regular_exponent();
      r.regular_standard_error = regular_standard_error();
    }
    r.laminar_phases = laminar_phases_;
  }
  if (settings_.flow) {
    // The exponent is the tangent's: the tangent fields repeat it.
    if (pass_.MeasuredSteps > 0) r.tangent_exponent = pass_.LogSum / (pass_.MeasuredSteps * TimeStep);
    r.tangent_standard_error = r.standard_error;
  }
  engine_.describe(r);
  return r;
}

MemberResult MemberRun::member_result(ColumnEnd end) const {
  MemberResult m;
  m.column = setup_.column;
  m.damping = pass_.model.FlockDamping;
  m.member = setup_.member;
  m.continued = setup_.generator == nullptr;
  m.fate = end == ColumnEnd::Stalled ? MemberFate::Stalled
           : captured_from_          ? MemberFate::Captured
           : settled_                ? MemberFate::Settled
                                     : MemberFate::Chaotic;
  const bool chaos = !settled_ || settled_->chaotic_phase;
  if (chaos && pass_.MeasuredSteps > 0) {
    m.chaotic_time = pass_.MeasuredSteps * TimeStep;
    m.log_growth = pass_.LogSum;
    m.chaotic_exponent = pass_.LogSum / m.chaotic_time;
    m.chaotic_standard_error = batch_standard_error(pass_.batch);
  }
  if (captured_from_) m.escape_time = (*captured_from_ - 1) * TimeStep;
  if (settled_) {
    m.escape_time = (settled_->from - 1) * TimeStep;
    m.regular_exponent = regular_exponent();
    m.regular_standard_error = regular_standard_error();
  }
  m.laminar_phases = laminar_phases_;
  m.passes = pass_.Iteration;
  ColumnResult r;
  engine_.describe(r);
  m.steps = r.steps;
  m.rejected_steps = r.rejected_steps;
  return m;
}
