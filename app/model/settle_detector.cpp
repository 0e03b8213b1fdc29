#include "app/model/settle_detector.hpp"

#include <algorithm>
#include <cmath>

namespace {

std::int64_t BlocksIn(double time) { return static_cast<std::int64_t>(std::lround(time / SettleBlock)); }

const std::int64_t WindowBlocks = BlocksIn(SettleWindow);
const std::int64_t LookBackBlocks = BlocksIn(SettleLookBack);
const std::int64_t CertificationBlocks = BlocksIn(SettleCertification);
const std::int64_t BatchBlocks = BlocksIn(SettleBatch);

}  // namespace

SettleDetector::SettleDetector(double interval)
    : per_block_(static_cast<int>(std::lround(SettleBlock / interval))),
      ring_(WindowBlocks + LookBackBlocks + 1),
      blocks_(static_cast<std::size_t>(ring_), 0.0) {}

void SettleDetector::reset() {
  count_ = 0;
  done_blocks_ = 0;
  chaos_since_ = 0;
  total_ = 0;
  total_at_chaos_since_ = 0;
  settled_ = false;
  current_ = 0;
  suspected_.reset();
  phase_blocks_.clear();
}

std::int64_t SettleDetector::reach() const { return (ring_ + 1) * per_block_; }

std::optional<SettleEvent> SettleDetector::observe(double log_growth) {
  ++count_;
  current_ += log_growth;
  if (count_ % per_block_ != 0) return std::nullopt;
  blocks_[static_cast<std::size_t>(done_blocks_ % ring_)] = current_;
  total_ += current_;
  ++done_blocks_;
  current_ = 0;
  return at_block_end();
}

// The earliest block from which the growth to every later block stays
// within the allowance of the line of `rate`: from the window's first block
// back as far as that holds, or forward from it to the first block where it
// does.
std::int64_t SettleDetector::walk_back(std::int64_t window_start, double rate) const {
  const auto holds = [this, rate](std::int64_t from) {
    double growth = 0;
    for (std::int64_t b = from; b < done_blocks_; ++b) {
      growth += block(b);
      if (growth > rate * SettleBlock * static_cast<double>(b - from + 1) + SettleAllowance) return false;
    }
    return true;
  };
  std::int64_t start = window_start;
  while (start < done_blocks_ && !holds(start)) ++start;
  const std::int64_t earliest = std::max({chaos_since_, window_start - LookBackBlocks, done_blocks_ - ring_});
  while (start > earliest && holds(start - 1)) --start;
  return start;
}

SettleEvent SettleDetector::judged(const Phase& phase, SettleEvent::Kind kind) const {
  SettleEvent e;
  e.kind = kind;
  e.start = phase.start_block * per_block_ + 1;
  e.window = phase.window_block * per_block_ + 1;
  e.declared = count_;
  const double time = static_cast<double>(phase.blocks) * SettleBlock;
  e.regular_exponent = time > 0 ? phase.growth / time : 0;
  // Batch means over whole batches of the phase.
  const std::size_t batches = phase_blocks_.size() / static_cast<std::size_t>(BatchBlocks);
  if (batches >= 2) {
    std::vector<double> means(batches, 0.0);
    for (std::size_t k = 0; k < batches; ++k) {
      for (std::int64_t b = 0; b < BatchBlocks; ++b) means[k] += phase_blocks_[k * BatchBlocks + b];
      means[k] /= SettleBatch;
    }
    double mean = 0;
    for (double m : means) mean += m;
    mean /= static_cast<double>(batches);
    double squares = 0;
    for (double m : means) squares += (m - mean) * (m - mean);
    e.regular_standard_error = std::sqrt(squares / static_cast<double>(batches - 1) / static_cast<double>(batches));
  }
  return e;
}

namespace {

// A regular phase's exponent is zero or below, within its errors.
bool Regular(const SettleEvent& e) {
  if (e.regular_exponent <= 0) return true;
  if (e.regular_standard_error) return e.regular_exponent <= 3 * *e.regular_standard_error;
  return e.regular_exponent < SettleRate;
}

}  // namespace

std::optional<SettleEvent> SettleDetector::at_block_end() {
  const double latest = block(done_blocks_ - 1);
  if (suspected_) {
    Phase& phase = *suspected_;
    phase.growth += latest;
    phase.lowest = std::min(phase.lowest, phase.growth);
    ++phase.blocks;
    phase_blocks_.push_back(latest);
    std::optional<SettleEvent> said;
    if (phase.growth - phase.lowest > SettleRise) {
      said = judged(phase, SettleEvent::Kind::Laminar);
    } else if (phase.blocks >= CertificationBlocks) {
      said = judged(phase, SettleEvent::Kind::Settled);
      if (!Regular(*said)) said->kind = SettleEvent::Kind::Laminar;
    }
    if (said) {
      suspected_.reset();
      phase_blocks_.clear();
      // A window is judged only on blocks after a phase that failed.
      chaos_since_ = done_blocks_;
      total_at_chaos_since_ = total_;
      if (said->kind == SettleEvent::Kind::Settled) settled_ = true;
    }
    return said;
  }
  if (settled_ || done_blocks_ - chaos_since_ < WindowBlocks) return std::nullopt;
  double window = 0;
  for (std::int64_t b = done_blocks_ - WindowBlocks; b < done_blocks_; ++b) window += block(b);
  if (!(window < SettleRate * SettleWindow)) return std::nullopt;
  Phase phase;
  phase.window_block = done_blocks_ - WindowBlocks;
  // The chaos's own rate, over the blocks before the window.
  const double chaotic_blocks = static_cast<double>(phase.window_block - chaos_since_);
  const double chaotic_rate =
      chaotic_blocks > 0 ? (total_ - window - total_at_chaos_since_) / (chaotic_blocks * SettleBlock) : 0;
  phase.start_block = walk_back(phase.window_block, std::fmax(SettleRate, chaotic_rate / 2));
  phase_blocks_.clear();
  for (std::int64_t b = phase.window_block; b < done_blocks_; ++b) {
    phase.growth += block(b);
    phase.lowest = std::min(phase.lowest, phase.growth);
    ++phase.blocks;
    phase_blocks_.push_back(block(b));
  }
  suspected_ = phase;
  return judged(phase, SettleEvent::Kind::Suspected);
}

std::optional<SettleEvent> SettleDetector::pending() const {
  if (!suspected_) return std::nullopt;
  SettleEvent e = judged(*suspected_, SettleEvent::Kind::Settled);
  if (!Regular(e)) e.kind = SettleEvent::Kind::Laminar;
  return e;
}
