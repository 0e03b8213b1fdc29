// What one member of an ensemble column ended with: a line of the members
// file.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/real.hpp"

// How a member's course ended: still chaotic at its budget (or its time
// limit), settled on a regular attractor, captured (its pair collapsing),
// or stopped by an engine that could not go on without a capture to show.
enum class MemberFate { Chaotic, Settled, Captured, Stalled };

struct MemberResult {
  std::int32_t column = 0;
  Real damping = 0;
  std::int32_t member = 0;
  bool continued = false;  // member 0, which goes on from the previous column's state
  MemberFate fate = MemberFate::Chaotic;
  // The chaotic phase: its measured time, the log growth summed over it
  // (the ensemble's exponent sums these), its exponent and batch-means
  // standard error.
  Real chaotic_time = 0;
  Real log_growth = 0;
  std::optional<Real> chaotic_exponent;
  std::optional<Real> chaotic_standard_error;
  // Model time from the member's start at which its chaos ended: where the
  // settling or the collapse began. None when it did not end.
  std::optional<Real> escape_time;
  // The regular attractor it settled on: its exponent and standard error,
  // and the features that tell attractors apart (see the ensemble's
  // attractor watch), with the label the column gave it: 0 for a flock
  // that disperses, bounded attractors from 1.
  std::optional<Real> regular_exponent;
  std::optional<Real> regular_standard_error;
  std::optional<double> period;
  std::optional<double> chaser_distance;
  std::optional<double> flock_radius;
  std::optional<double> drift_speed;
  std::optional<double> spin;
  // The flock was still spreading out when the settling was certified: no
  // bounded attractor, but the far-apart motion (attractor 0).
  bool dispersing = false;
  std::optional<std::int32_t> attractor;
  std::int32_t laminar_phases = 0;  // suspected settlings that turned chaotic again
  std::int32_t passes = 0;
  std::optional<std::int64_t> steps;
  std::optional<std::int64_t> rejected_steps;
};

std::string_view member_fate_name(MemberFate fate);
std::optional<MemberFate> member_fate_from_name(std::string_view name);
