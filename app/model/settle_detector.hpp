// Watches a trajectory's measured growth, one sample a pass (the log growth
// of its separation or tangent), for the end of chaos: a settling onto a
// regular attractor.
//
// In chaos the tangent grows exponentially, at the largest exponent (0.2 to
// 1.8 in this model); on a regular orbit it stays bounded, so its log
// wanders within a band of a few units. The detector sums the growth in
// blocks of one time unit:
//
// - a settling is suspected when the growth over the last SettleWindow
//   units falls below SettleRate per unit;
// - the chaos is taken to have ended at the earliest block, walking back
//   from that window (at most SettleLookBack units), from which the growth
//   to every later block stays within SettleAllowance of the line of half
//   the chaotic rate measured before the window (or of SettleRate, if that
//   is more): in chaos at rate l the walk overshoots into the chaos by at
//   most 2 SettleAllowance / l units and a block. What lies between that end
//   and the window is the approach to the attractor, chaos no longer;
// - the motion from the window on is then watched for SettleCertification
//   units. If its growth rises SettleRise above its lowest value since the
//   window, the motion was chaotic again: a laminar phase of intermittency,
//   not a settling. Otherwise its exponent over those units (with a
//   standard error from batch means of SettleBatch units) must be within
//   three standard errors of zero or below; then the settling is declared.
//
// Chosen by bench/settle_survey (see the science document): SettleRise of 5
// called regular orbits of the upper edge laminar (their log growth swings
// by up to 5); windows of 20 units fall below 0.05 in the chaotic band only
// in laminar phases, which end within 80 units there.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

inline constexpr double SettleBlock = 1.0;           // model time per block
inline constexpr double SettleWindow = 20.0;
inline constexpr double SettleRate = 0.05;           // per unit of time
inline constexpr double SettleAllowance = 3.0;
inline constexpr double SettleLookBack = 100.0;
inline constexpr double SettleRise = 8.0;
inline constexpr double SettleCertification = 200.0;
inline constexpr double SettleBatch = 10.0;          // model time per batch of the regular exponent

struct SettleEvent {
  // Suspected: a regular phase may have begun at `start`; settled: it has,
  // certified; laminar: the suspected phase was chaotic again.
  enum class Kind { Suspected, Settled, Laminar };
  Kind kind = Kind::Suspected;
  // Samples counted from 1 since the detector's reset: the first after the
  // chaos, the first of the suspected window, and the one at which this was
  // said.
  std::int64_t start = 0;
  std::int64_t window = 0;
  std::int64_t declared = 0;
  // The regular motion's exponent and its standard error, from the window
  // to the declaration (none below two batches).
  double regular_exponent = 0;
  std::optional<double> regular_standard_error;
};

class SettleDetector {
 public:
  // `interval`: the model time between samples.
  explicit SettleDetector(double interval = 0.01);
  // Forgets every sample: a new trajectory follows.
  void reset();
  std::int64_t samples() const { return count_; }
  // How many samples back a suspected start can lie.
  std::int64_t reach() const;
  bool suspecting() const { return suspected_.has_value(); }

  // Takes one sample; an event when one is said at it.
  std::optional<SettleEvent> observe(double log_growth);
  // The suspected phase as measured so far, when the trajectory ends before
  // its certification is through: settled if what was seen of it holds.
  std::optional<SettleEvent> pending() const;

 private:
  struct Phase {
    std::int64_t start_block = 0;   // absolute block indices
    std::int64_t window_block = 0;
    double growth = 0;              // since the window, at the last block's end
    double lowest = 0;
    std::int64_t blocks = 0;        // since the window
  };
  std::optional<SettleEvent> at_block_end();
  std::int64_t walk_back(std::int64_t window_start, double rate) const;
  SettleEvent judged(const Phase& phase, SettleEvent::Kind kind) const;
  double block(std::int64_t index) const { return blocks_[static_cast<std::size_t>(index % ring_)]; }

  int per_block_;
  std::int64_t ring_;  // blocks kept
  std::vector<double> blocks_;
  std::int64_t count_ = 0;
  std::int64_t done_blocks_ = 0;
  std::int64_t chaos_since_ = 0;  // the first block a window may hold
  double total_ = 0;              // of every block since the reset
  double total_at_chaos_since_ = 0;
  bool settled_ = false;
  double current_ = 0;
  std::optional<Phase> suspected_;
  // The regular phase's block sums, for its batch means.
  std::vector<double> phase_blocks_;
};
