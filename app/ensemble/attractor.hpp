// What tells one regular attractor of the chase model from another, measured
// on a settled member's states, and the clustering of members by it.
//
// The model's equations do not change when all bodies are translated, when
// the whole configuration is rotated or mirrored, or when the seven flock
// bodies (all alike) are renumbered; time runs on from any phase of an
// orbit. An orbit carried by any of these maps is an orbit of the model too,
// and one that a member reaches as easily: so every feature here is a
// function of the distances between bodies and of speeds, averaged over
// time, and a mirror image or a renumbering of an orbit has the same
// features and counts as the same attractor. (The folds of body 1 are the
// one thing that sees absolute positions; the features take the states as
// the flow has them.)
#pragma once

#include <vector>

struct AttractorFeatures {
  // Of the configuration's shape (the bodies' relative positions up to
  // rotation, mirroring and renumbering): its period in model time; 0 when
  // the shape holds still (a relative equilibrium, which may still travel
  // or spin as a whole); +infinity when it does not repeat within half the
  // watch (a long period or a torus).
  double period = 0;
  // Time means over whole periods in the later half of the watch (over
  // that half when the period is 0 or not found):
  double chaser_distance = 0;  // of the chaser to the flock's centroid
  double flock_radius = 0;     // of a flock body to the centroid
  // Of the centroid's speed: the coupling is not reciprocal (the chaser
  // pulls what pushes it away), so the group can self-propel.
  double drift_speed = 0;
  // The magnitude of the flock's mean angular velocity about its centroid,
  // (sum r x v) / (sum r^2): a turning and a still relative equilibrium
  // have the same shape. Its sign is the mirror's, so it is dropped.
  double spin = 0;
};

// Orbits of one attractor measured by two members differ only by the
// approach still fading, a fraction of a pass in the period and the means
// over whole periods: well under 1 %. 2 % keeps them together.
inline constexpr double AttractorTolerance = 0.02;
// Below these, quantities count as zero (in model units: 1/1000 of the
// distance at which two flock bodies neither attract nor repel, of that
// distance per unit time, radians per unit time).
inline constexpr double AttractorDistanceFloor = 1e-3;
inline constexpr double AttractorSpeedFloor = 1e-3;
inline constexpr double AttractorSpinFloor = 1e-3;
// A shape signal whose range stays within this share of its mean is still.
inline constexpr double AttractorSteadyShare = 1e-6;

// Watches a settled member: fed one state a pass (32 doubles, body k at
// 4k .. 4k+3 as x, y, vx, vy, the chaser last), over 100 to 200 units of
// regular motion. The features are those of the later half of the watch,
// the earlier half only its past: what is left of the approach to the
// attractor fades meanwhile. Periods up to half the watch are found.
class AttractorWatch {
 public:
  // `interval`: the model time between states.
  explicit AttractorWatch(double interval = 0.01);
  void reset();
  void add(const double* state);
  int size() const { return static_cast<int>(chaser_distance_.size()); }
  // All zero before any state.
  AttractorFeatures features() const;

 private:
  double interval_;
  // Per state: the time-averaged quantities and the shape signals the
  // period is read from.
  std::vector<double> chaser_distance_, flock_radius_, drift_speed_, spin_;
  std::vector<double> chaser_potential_, flock_potential_;
};

// The period of the shape signals (samples `interval` apart, the shortest
// signal's length counted): 0 when all hold still within
// AttractorSteadyShare over their later half; +infinity when that half
// does not repeat, within half their length, to about 4.5 % of its swing.
// Apart from the watch for its tests.
double ShapePeriod(const std::vector<const std::vector<double>*>& signals, double interval);

// True when every feature agrees within AttractorTolerance (relative to the
// larger, or the feature's floor). Periods: 0 and +infinity only match
// themselves.
bool SameAttractor(const AttractorFeatures& a, const AttractorFeatures& b);

// Labels 0 .. n - 1, one per distinct attractor, numbered in order of first
// appearance: each entry takes the label of the first attractor whose first
// member it matches (a leader clustering, so that a chain of near matches
// cannot drift from one attractor into another), else a new one.
std::vector<int> ClusterAttractors(const std::vector<AttractorFeatures>& features);
