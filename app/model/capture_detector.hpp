// Watches a trajectory of the chase model, one sample per pass, for the
// chaser's capture of a flock body.
//
// For the chaser and a flock body alone, with r = r_chaser - r_body, the
// pair's relative motion feels the attraction (5/3) r/|r|^2 and the net drag
// g = 1.5 - 20D/3 (D the flock's damping). Where g > 0 a bound pair collapses
// for good: its energy E = |r'|^2/2 + (5/3) ln|r| falls on average at
// (5/3) g, its angular momentum L = r x r' decays as e^(-g t), and its orbit
// shrinks without end, which no fixed-tolerance step follows for long. Where
// g <= 0 no capture lasts, and the detector never fires.
//
// A capture is declared when, over the last CaptureWindow time units, the
// same flock body has been the chaser's nearest; the pair's energy has
// fallen in each quarter of the window; the least-squares slopes of E and of
// ln|L| over the window are both within CaptureRateTolerance of the
// analytic -(5/3) g and -g; and the pair came closer than CaptureDistance.
// Chaotic close passes match none of this for long: their energy is kicked
// up and down by the other bodies and their partner changes. The collapse is
// taken to have begun at the start of the earliest half-unit block, walking
// back from the window, over which the same body stayed nearest and E kept
// falling at the analytic rate, at most CaptureLookBackAt(D) units back:
// from a capture at the flock's spacing to CaptureDistance the orbit shrinks
// by about e^7, which takes 7/g units, so the look-back is 8/g (at least
// CaptureLookBack, at most CaptureLongestLookBack; near D = 0.225, where g
// is small, a shorter one left most of a slow collapse in the exponent).
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/model/flock_model.hpp"

inline constexpr double CaptureWindow = 2.0;
inline constexpr double CaptureDistance = 1e-3;
inline constexpr double CaptureRateTolerance = 0.25;
inline constexpr double CaptureLookBack = 40.0;
inline constexpr double CaptureLongestLookBack = 1000.0;

// The pair's net drag at flock damping D: 1.5 - 20 D / 3.
inline double PairDrag(double damping) { return 1.5 - 20.0 * damping / 3.0; }

// How far back, in model time, a collapse's start is looked for at flock
// damping D.
inline double CaptureLookBackAt(double damping) {
  const double g = PairDrag(damping);
  if (!(g > 0)) return CaptureLookBack;  // never fires there
  if (!(g > 8.0 / CaptureLongestLookBack)) return CaptureLongestLookBack;
  return std::fmax(CaptureLookBack, 8.0 / g);
}

// What the detector reads of one sample: the chaser's nearest flock body and
// the pair's distance, energy and log angular momentum.
struct CaptureSample {
  int body = 0;  // 1..7
  double distance = 0;
  double energy = 0;
  double log_momentum = 0;
};

// A declared capture. Samples are counted from 1 since the detector's reset;
// `start` is the first sample of the collapse, `declared` the sample at
// which it was declared.
struct CaptureEvent {
  std::int64_t start = 0;
  std::int64_t declared = 0;
  int body = 0;
  double distance = 0;       // the pair's distance at the declaration
  double energy_slope = 0;   // dE/dt from the collapse's start to the declaration
  double collapse_rate = 0;  // -d ln|L| / dt over the same samples, to compare with g
};

// The sample of a state of the model (1-based, as FlockState), in any
// floating-point element type.
template <typename T>
CaptureSample CaptureSampleOf(const T* state) {
  const int chaser = ChaserOffset;
  CaptureSample s;
  T nearest_squared = 0;
  int nearest = -1;
  for (int i = 0; i < FlockBodies; ++i) {
    const T dx = state[chaser + 1] - state[ComponentsPerBody * i + 1];
    const T dy = state[chaser + 2] - state[ComponentsPerBody * i + 2];
    const T d = dx * dx + dy * dy;
    if (nearest < 0 || d < nearest_squared) {
      nearest = i;
      nearest_squared = d;
    }
  }
  const T* b = state + ComponentsPerBody * nearest;
  const double rx = static_cast<double>(state[chaser + 1] - b[1]);
  const double ry = static_cast<double>(state[chaser + 2] - b[2]);
  const double vx = static_cast<double>(state[chaser + 3] - b[3]);
  const double vy = static_cast<double>(state[chaser + 4] - b[4]);
  s.body = nearest + 1;
  s.distance = std::sqrt(rx * rx + ry * ry);
  s.energy = 0.5 * (vx * vx + vy * vy) + (5.0 / 3.0) * std::log(s.distance);
  s.log_momentum = std::log(std::fabs(rx * vy - ry * vx));
  return s;
}

class CaptureDetector {
 public:
  // `interval`: the model time between samples; `look_back`: how far back
  // a collapse's start is looked for.
  explicit CaptureDetector(double interval = 0.01, double look_back = CaptureLookBack);
  // Forgets every sample: a new trajectory follows.
  void reset();
  std::int64_t samples() const { return count_; }
  // The most samples back a collapse's start can lie.
  std::int32_t reach() const { return static_cast<std::int32_t>(ring_.size()); }
  double interval() const { return interval_; }

  // Takes the sample of the state after a pass; a capture when one is
  // declared there.
  template <typename T>
  std::optional<CaptureEvent> observe(const T* state, double damping) {
    return observe_sample(CaptureSampleOf(state), damping);
  }
  std::optional<CaptureEvent> observe_sample(const CaptureSample& sample, double damping);
  // A collapse under way but not yet declared: everything of the criterion
  // but the closeness. Asked when a trajectory ends.
  std::optional<CaptureEvent> pending(double damping) const;
  // An integrator that follows the flow could not finish the pass after the
  // latest sample, stopped at `at`. Where g > 0 and it stopped with the
  // latest sample's partner closer than CaptureDistance, that is a pair sunk
  // deeper than any step can follow before the criterion above was met: a
  // capture, taken to have begun where that body became the chaser's
  // nearest, at most the look-back before. It has no collapse rate (NaN).
  template <typename T>
  std::optional<CaptureEvent> stalled(const T* at, double damping) const {
    return stalled_sample(CaptureSampleOf(at), damping);
  }
  std::optional<CaptureEvent> stalled_sample(const CaptureSample& at, double damping) const;

 private:
  std::optional<CaptureEvent> judge(double damping, bool need_close) const;
  const CaptureSample& back(std::int64_t age) const;  // age 0: the latest

  double interval_;
  int window_;     // samples in CaptureWindow
  int block_;      // samples in a quarter of it
  std::vector<CaptureSample> ring_;
  std::int64_t count_ = 0;
  // Kept per sample, so that most passes are judged without a look at the
  // window: how many of the latest samples share their nearest body, and
  // the latest sample closer than CaptureDistance (0: none).
  std::int64_t same_body_ = 0;
  std::int64_t last_close_ = 0;
};
