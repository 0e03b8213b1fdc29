#include "app/measure/spectrum_member.hpp"

#include <cmath>

#include "app/measure/flow_pass.hpp"
#include "app/measure/parameters.hpp"

namespace {

double FirstTangentLength(const SpectrumEngine& e) {
  double squares = 0;
  for (int c = 0; c < StateSize; ++c) squares += Tangent(e, 0, c) * Tangent(e, 0, c);
  return std::sqrt(squares);
}

std::optional<Real> Measured(Real value) {
  if (std::isnan(value)) return std::nullopt;
  return value;
}

}  // namespace

SpectrumMemberEngine::SpectrumMemberEngine(int tangents, double tolerance) {
  settings_.tangents = tangents;
  settings_.tolerance = tolerance;
  settings_.span = static_cast<double>(TimeStep);
}

void SpectrumMemberEngine::start_at(const ColumnPass& pass) {
  double state[StateSize];
  for (int i = 0; i < StateSize; ++i) state[i] = static_cast<double>(pass.ref[i + 1]);
  const std::int64_t steps = engine_.steps, rejected = engine_.rejected, folds = engine_.folds;
  // The first step proposed is the flow engine's, the pass itself.
  SpectrumStart(engine_, state, settings_.tangents, static_cast<double>(pass.model.FlockDamping),
                settings_.tolerance, static_cast<double>(TimeStep));
  engine_.steps = steps;
  engine_.rejected = rejected;
  engine_.folds = folds;
  steps_at_ = steps;
  since_ = measured_since_ = 0;
  first_length_ = FirstTangentLength(engine_);
}

void SpectrumMemberEngine::start(ColumnPass& pass) {
  engine_ = SpectrumEngine{};
  intervals_.clear();
  start_at(pass);
}

void SpectrumMemberEngine::restart(ColumnPass& pass) { start_at(pass); }

bool SpectrumMemberEngine::advance(ColumnPass&) {
  return SpectrumPass(engine_, static_cast<double>(TimeStep)) && FirstTangentLength(engine_) > 0;
}

PassEnd SpectrumMemberEngine::finish(ColumnPass& pass, SweepCarry& estimate, MeasuredGrowth* growth) {
  const double length = FirstTangentLength(engine_);
  const double log_growth = std::log(length / first_length_);
  first_length_ = length;
  const PassEnd end = RecordFlowGrowth(pass, log_growth, estimate.Exponent, estimate.MeanDivergence, growth);
  const bool measuring = end == PassEnd::Measured;
  ++since_;
  if (measuring) ++measured_since_;
  // On the interval's marks, counted from the measurement's start so that
  // a block ends on one, at the transient's end, and wherever the tangents
  // would leave the range of doubles before the next.
  const bool last_transient = pass.Iteration - pass.EpisodeStart == BufferLength - 1;
  const bool due = measuring ? measured_since_ == settings_.interval : since_ == settings_.interval || last_transient;
  if (!due && !SpectrumTangentsOutOfRange(engine_)) return end;
  Interval interval;
  SpectrumOrthonormalise(engine_, interval.lengths.data());
  if (measuring && measured_since_ == since_) {
    interval.end = pass.Iteration;
    interval.passes = since_;
    interval.steps = engine_.steps - steps_at_;
    intervals_.push_back(interval);
  }
  since_ = measured_since_ = 0;
  steps_at_ = engine_.steps;
  first_length_ = FirstTangentLength(engine_);
  return end;
}

CaptureSample SpectrumMemberEngine::sample(const ColumnPass&) const {
  std::array<double, StateSize + 1> one{};
  for (int i = 1; i <= StateSize; ++i) one[i] = engine_.x[i - 1];
  return CaptureSampleOf(one.data());
}

void SpectrumMemberEngine::state(const ColumnPass&, double* out) const {
  for (int i = 0; i < StateSize; ++i) out[i] = engine_.x[i];
}

void SpectrumMemberEngine::stop(ColumnPass& pass) {
  for (int i = 0; i < StateSize; ++i) pass.ref[i + 1] = engine_.x[i];
}

void SpectrumMemberEngine::take_back(std::int32_t from) {
  while (!intervals_.empty() && intervals_.back().end >= from) intervals_.pop_back();
}

SpectrumSummary SpectrumMemberEngine::summary() const {
  SpectrumSums sums;
  sums.tangents = settings_.tangents;
  std::int64_t steps = 0;
  for (const Interval& interval : intervals_) {
    SpectrumAdd(sums, interval.lengths.data(), interval.passes, settings_);
    steps += interval.steps;
  }
  return Summarise(sums, settings_, engine_.damping, steps);
}

void SpectrumMemberEngine::describe(ColumnResult& r) const {
  r.integrator = FlowMethodName;
  r.tolerance = settings_.tolerance;
  r.steps = engine_.steps;
  r.rejected_steps = engine_.rejected;
  const SpectrumSummary s = summary();
  r.spectrum = SpectrumLineOf(r.column, r.damping, s);
  r.positive_exponents = r.spectrum->positive_exponents;
  r.zero_exponents = r.spectrum->zero_exponents;
  r.kaplan_yorke = r.spectrum->kaplan_yorke;
  if (s.sum_checked) r.sum_residual = s.sum - s.trace;
  r.spectrum_certificate = r.spectrum->certificate;
}

SpectrumLine SpectrumLineOf(std::int32_t column, Real damping, const SpectrumSummary& s) {
  SpectrumLine line;
  line.column = column;
  line.damping = damping;
  for (int k = 0; k < s.tangents; ++k) {
    line.exponents.push_back(s.exponents[k]);
    line.errors.push_back(Measured(s.errors[k]));
  }
  line.sum = s.sum;
  line.trace = s.trace;
  if (s.zero_exponents >= 0) line.zero_exponents = s.zero_exponents;
  if (s.positive_exponents >= 0) line.positive_exponents = s.positive_exponents;
  line.kaplan_yorke = Measured(s.kaplan_yorke);
  line.kaplan_yorke_error = Measured(s.kaplan_yorke_error);
  line.certificate = SpectrumCertificate(s);
  return line;
}
