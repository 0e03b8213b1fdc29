#include "app/model/capture_detector.hpp"

#include <algorithm>

namespace {

// Least-squares slope per sample of `value` over samples oldest .. newest
// (ages, newest the smaller), in time order.
template <typename Value>
double SlopePerSample(std::int64_t oldest, std::int64_t newest, Value value) {
  const double n = static_cast<double>(oldest - newest + 1);
  const double mid = (n - 1) / 2;
  double mean = 0;
  for (std::int64_t age = oldest; age >= newest; --age) mean += value(age);
  mean /= n;
  double num = 0, den = 0;
  for (std::int64_t age = oldest; age >= newest; --age) {
    const double x = static_cast<double>(oldest - age) - mid;
    num += x * (value(age) - mean);
    den += x * x;
  }
  return num / den;
}

bool Near(double measured, double expected) {
  return std::fabs(measured / expected - 1) <= CaptureRateTolerance;
}

}  // namespace

CaptureDetector::CaptureDetector(double interval, double look_back)
    : interval_(interval),
      window_(static_cast<int>(std::lround(CaptureWindow / interval))),
      block_(std::max(1, window_ / 4)),
      ring_(static_cast<std::size_t>(std::lround((CaptureWindow + look_back) / interval))) {}

void CaptureDetector::reset() {
  count_ = 0;
  same_body_ = 0;
  last_close_ = 0;
}

const CaptureSample& CaptureDetector::back(std::int64_t age) const {
  const std::int64_t n = static_cast<std::int64_t>(ring_.size());
  return ring_[static_cast<std::size_t>((count_ - 1 - age) % n)];
}

std::optional<CaptureEvent> CaptureDetector::observe_sample(const CaptureSample& sample, double damping) {
  same_body_ = count_ > 0 && back(0).body == sample.body ? same_body_ + 1 : 1;
  ring_[static_cast<std::size_t>(count_ % static_cast<std::int64_t>(ring_.size()))] = sample;
  ++count_;
  if (sample.distance < CaptureDistance) last_close_ = count_;
  return judge(damping, true);
}

std::optional<CaptureEvent> CaptureDetector::pending(double damping) const { return judge(damping, false); }

std::optional<CaptureEvent> CaptureDetector::stalled_sample(const CaptureSample& at, double damping) const {
  if (!(PairDrag(damping) > 0) || count_ == 0) return std::nullopt;
  if (at.body != back(0).body || !(at.distance < CaptureDistance)) return std::nullopt;
  const std::int64_t held = std::min<std::int64_t>(count_, static_cast<std::int64_t>(ring_.size()));
  CaptureEvent event;
  event.declared = count_;
  event.start = count_ - std::min(same_body_, held) + 1;
  event.body = at.body;
  event.distance = at.distance;
  event.energy_slope = NAN;
  event.collapse_rate = NAN;
  return event;
}

std::optional<CaptureEvent> CaptureDetector::judge(double damping, bool need_close) const {
  const double g = PairDrag(damping);
  if (!(g > 0) || count_ < window_) return std::nullopt;
  const CaptureSample& latest = back(0);
  // Most samples end here.
  if (same_body_ < window_ || (need_close && !(last_close_ > count_ - window_))) return std::nullopt;
  const auto energy = [this](std::int64_t age) { return back(age).energy; };
  const auto momentum = [this](std::int64_t age) { return back(age).log_momentum; };
  const auto block_mean = [this](std::int64_t oldest) {
    double sum = 0;
    for (std::int64_t age = oldest; age > oldest - block_; --age) sum += back(age).energy;
    return sum / block_;
  };
  double closest = latest.distance;
  for (std::int64_t age = 0; age < window_; ++age) {
    const CaptureSample& s = back(age);
    if (s.body != latest.body || !std::isfinite(s.energy) || !std::isfinite(s.log_momentum)) return std::nullopt;
    closest = std::min(closest, s.distance);
  }
  if (need_close && !(closest < CaptureDistance)) return std::nullopt;
  // Falling in every quarter of the window.
  double later = block_mean(block_ - 1);
  for (int b = 1; b < 4; ++b) {
    const double earlier = block_mean(static_cast<std::int64_t>(b + 1) * block_ - 1);
    if (!(earlier > later)) return std::nullopt;
    later = earlier;
  }
  const double energy_rate = SlopePerSample(window_ - 1, 0, energy) / interval_;
  const double momentum_rate = SlopePerSample(window_ - 1, 0, momentum) / interval_;
  if (!Near(energy_rate, -(5.0 / 3.0) * g) || !Near(momentum_rate, -g)) return std::nullopt;

  // Walk back, a block at a time, while the same body stayed nearest and the
  // energy kept falling at the analytic rate.
  const std::int64_t held = std::min<std::int64_t>(count_, static_cast<std::int64_t>(ring_.size()));
  std::int64_t oldest = window_ - 1;
  double newer_mean = block_mean(oldest);
  while (oldest + block_ < held) {
    const std::int64_t from = oldest + block_;
    bool same = true;
    for (std::int64_t age = from; age > oldest && same; --age) {
      const CaptureSample& s = back(age);
      same = s.body == latest.body && std::isfinite(s.energy);
    }
    if (!same) break;
    const double mean = block_mean(from);
    const double rate = SlopePerSample(from, oldest + 1, energy) / interval_;
    if (!(mean > newer_mean) || !Near(rate, -(5.0 / 3.0) * g)) break;
    newer_mean = mean;
    oldest = from;
  }
  CaptureEvent event;
  event.declared = count_;
  event.start = count_ - oldest;
  event.body = latest.body;
  event.distance = latest.distance;
  event.energy_slope = energy_rate;
  event.collapse_rate = -momentum_rate;
  return event;
}
