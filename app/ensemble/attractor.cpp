#include "app/ensemble/attractor.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "app/model/flock_model.hpp"

namespace {

// Lags whose mean squared difference of the shape signals, over twice
// their variance, stays below this share are repetitions: the motion
// repeats to within about 4.5 % of its swing (sqrt(2 x 1e-3)).
constexpr double RepeatShare = 1e-3;
// The search for a repetition starts once the signals have moved this far
// from themselves, so that the lags next to 0 do not count.
constexpr double DepartShare = 0.1;
// The mean over t of each lag's squared differences uses at most about
// this many t, spread evenly: plenty for a mean, and it keeps a watch of
// 20,000 states to a few tens of millions of operations.
constexpr std::size_t DifferenceSamples = 2000;

double Mean(const std::vector<double>& v, std::size_t from) {
  double sum = 0;
  for (std::size_t i = from; i < v.size(); ++i) sum += v[i];
  return v.size() > from ? sum / double(v.size() - from) : 0;
}

}  // namespace

AttractorWatch::AttractorWatch(double interval) : interval_(interval) {}

void AttractorWatch::reset() {
  for (std::vector<double>* v : {&chaser_distance_, &flock_radius_, &drift_speed_, &spin_, &chaser_potential_, &flock_potential_}) v->clear();
}

void AttractorWatch::add(const double* state) {
  // Everything below is read from differences of positions, speeds and
  // sums over all flock bodies alike, so translation, rotation, mirroring
  // and renumbering leave it as it is (the spin changes sign in a mirror:
  // its magnitude is taken at the end).
  double gx = 0, gy = 0, gvx = 0, gvy = 0;
  for (int k = 0; k < FlockBodies; ++k) {
    const double* b = state + ComponentsPerBody * k;
    gx += b[0];
    gy += b[1];
    gvx += b[2];
    gvy += b[3];
  }
  gx /= FlockBodies;
  gy /= FlockBodies;
  gvx /= FlockBodies;
  gvy /= FlockBodies;
  const double* c = state + ChaserOffset;
  double radius = 0, turning = 0, inertia = 0, chaser_potential = 0, flock_potential = 0;
  for (int k = 0; k < FlockBodies; ++k) {
    const double* b = state + ComponentsPerBody * k;
    const double rx = b[0] - gx, ry = b[1] - gy;
    radius += std::hypot(rx, ry);
    turning += rx * (b[3] - gvy) - ry * (b[2] - gvx);
    inertia += rx * rx + ry * ry;
    chaser_potential += 1 / std::hypot(c[0] - b[0], c[1] - b[1]);
    for (int j = k + 1; j < FlockBodies; ++j) {
      const double* o = state + ComponentsPerBody * j;
      flock_potential += 1 / std::hypot(o[0] - b[0], o[1] - b[1]);
    }
  }
  chaser_distance_.push_back(std::hypot(c[0] - gx, c[1] - gy));
  flock_radius_.push_back(radius / FlockBodies);
  drift_speed_.push_back(std::hypot(gvx, gvy));
  spin_.push_back(inertia > 0 ? turning / inertia : 0);
  chaser_potential_.push_back(chaser_potential);
  flock_potential_.push_back(flock_potential);
}

AttractorFeatures AttractorWatch::features() const {
  AttractorFeatures f;
  if (chaser_distance_.empty()) return f;
  // The distances to the chaser and among the flock, summed as 1 / d,
  // follow the shape where the centroid distances cannot: a ring turning
  // past a chaser that circles its centre keeps both of those still.
  f.period = ShapePeriod({&chaser_distance_, &flock_radius_, &chaser_potential_, &flock_potential_}, interval_);
  // Means over the later half, as the period, and over whole periods
  // ending at the last state, so that a part period does not tilt them.
  const std::size_t n = chaser_distance_.size();
  std::size_t from = n / 2;
  if (f.period > 0 && std::isfinite(f.period)) {
    const double per_period = f.period / interval_;
    const double periods = std::max(1.0, std::floor(double(n - n / 2) / per_period));
    const auto length = static_cast<std::size_t>(std::lround(periods * per_period));
    from = n - std::clamp<std::size_t>(length, 1, n);
  }
  f.chaser_distance = Mean(chaser_distance_, from);
  f.flock_radius = Mean(flock_radius_, from);
  f.drift_speed = Mean(drift_speed_, from);
  f.spin = std::abs(Mean(spin_, from));
  return f;
}

double ShapePeriod(const std::vector<const std::vector<double>*>& signals, double interval) {
  std::size_t n = std::numeric_limits<std::size_t>::max();
  for (const std::vector<double>* s : signals) n = std::min(n, s->size());
  if (signals.empty() || n == 0) return 0;
  const std::size_t first = n / 2;  // of the later half
  // Each signal relative to its own mean: a distance and a sum of inverse
  // distances weigh alike, and one that holds still adds nothing.
  std::vector<std::vector<double>> relative;
  double variance = 0;
  for (const std::vector<double>* s : signals) {
    double mean = 0, low = (*s)[first], high = (*s)[first];
    for (std::size_t i = first; i < n; ++i) {
      mean += (*s)[i];
      low = std::min(low, (*s)[i]);
      high = std::max(high, (*s)[i]);
    }
    mean /= double(n - first);
    if (!(high - low > AttractorSteadyShare * std::abs(mean))) continue;
    const double scale = mean != 0 ? std::abs(mean) : high - low;
    std::vector<double> r(n);
    double squares = 0;
    for (std::size_t i = 0; i < n; ++i) {
      r[i] = (*s)[i] / scale;
      if (i >= first) squares += (r[i] - mean / scale) * (r[i] - mean / scale);
    }
    variance += squares / double(n - first);
    relative.push_back(std::move(r));
  }
  if (relative.empty()) return 0;
  const double infinity = std::numeric_limits<double>::infinity();
  const std::size_t longest = first;
  if (longest < 3 || !(variance > 0)) return infinity;
  // The mean squared difference of the later half's states from those
  // `lag` before them, over twice their variance: about 1 between unrelated
  // states, 0 where the shape repeats, and quadratic in the lag around a
  // repetition. The later states alone judge the short lags, where the
  // period lies, so that what is left of the approach to the attractor in
  // the first half does not blur them.
  const std::size_t stride = std::max<std::size_t>(1, (n - first) / DifferenceSamples);
  std::vector<double> difference(longest + 2, 0);
  for (std::size_t lag = 1; lag <= longest + 1; ++lag) {
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t u = std::max(first, lag); u < n; u += stride) {
      for (const std::vector<double>& r : relative) {
        const double d = r[u] - r[u - lag];
        sum += d * d;
      }
      ++count;
    }
    difference[lag] = sum / double(count) / (2 * variance);
  }
  std::size_t start = 1;
  while (start <= longest && difference[start] < DepartShare) ++start;
  // Each dip placed between states by a parabola through it and its
  // neighbours, and its depth read there: a period of a few passes falls
  // between them, and the dip at its lag alone would look shallow.
  struct Dip {
    double lag, depth;
  };
  std::vector<Dip> dips;
  double deepest = infinity;
  for (std::size_t lag = start + 1; lag < longest; ++lag) {
    const double below = difference[lag - 1], at = difference[lag], above = difference[lag + 1];
    if (!(at < below && at <= above)) continue;
    const double curvature = below - 2 * at + above;
    const double shift = curvature > 0 ? std::clamp(0.5 * (below - above) / curvature, -0.5, 0.5) : 0;
    const double depth = std::max(0.0, at - 0.25 * (below - above) * shift);
    dips.push_back({double(lag) + shift, depth});
    deepest = std::min(deepest, depth);
  }
  if (!(deepest <= RepeatShare)) return infinity;
  // The first dip about as deep as the deepest: multiples of the period
  // are as deep as the period, while a part of it that only nearly repeats
  // is not.
  for (const Dip& d : dips) {
    if (d.depth <= deepest + RepeatShare) return d.lag * interval;
  }
  return infinity;
}

bool SameAttractor(const AttractorFeatures& a, const AttractorFeatures& b) {
  const auto close = [](double x, double y, double floor) {
    return std::abs(x - y) <= std::max(AttractorTolerance * std::max(std::abs(x), std::abs(y)), floor);
  };
  const bool periods = (a.period == 0 || b.period == 0 || std::isinf(a.period) || std::isinf(b.period))
                           ? a.period == b.period
                           : close(a.period, b.period, 0);
  return periods && close(a.chaser_distance, b.chaser_distance, AttractorDistanceFloor) &&
         close(a.flock_radius, b.flock_radius, AttractorDistanceFloor) &&
         close(a.drift_speed, b.drift_speed, AttractorSpeedFloor) && close(a.spin, b.spin, AttractorSpinFloor);
}

std::vector<int> ClusterAttractors(const std::vector<AttractorFeatures>& features) {
  std::vector<int> labels(features.size());
  std::vector<std::size_t> leaders;  // the first entry of each label
  for (std::size_t i = 0; i < features.size(); ++i) {
    std::size_t label = 0;
    while (label < leaders.size() && !SameAttractor(features[leaders[label]], features[i])) ++label;
    if (label == leaders.size()) leaders.push_back(i);
    labels[i] = static_cast<int>(label);
  }
  return labels;
}
