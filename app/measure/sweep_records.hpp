// The plain records a sweep hands out: what passes from one column to the
// next, and the points of a column's convergence history. Kept apart from
// the sweep's settings so that the history file and the resumption, which
// hold them, need nothing else of the sweep.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/real.hpp"

// The values a column reports when it measures nothing of its own: what the
// column before it ended with, never reset between columns.
struct SweepCarry {
  // The latest estimate of the exponent. While a column runs, each measured
  // pass makes it the running mean; without an error target, a convergence
  // test replaces it by the extrapolated limit. A column reports it as it
  // stands at the column's end.
  Real Exponent = 0;
  Real MeanDivergence = 0;
  Real Spread = 0;
};

// A point of a column's convergence history, every 1000 measured passes:
// the running exponent, and where a convergence test was made there, its
// extrapolated value and spread.
struct HistoryPoint {
  std::int32_t column;
  std::int32_t measured_passes;
  Real running_exponent;
  bool tested;
  Real extrapolated;
  Real spread;
};
using HistoryObserver = std::function<void(const HistoryPoint&)>;
