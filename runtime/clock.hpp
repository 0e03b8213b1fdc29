// Time of day and elapsed time. Both clocks can be replaced for tests.
#pragma once

#include "runtime/real.hpp"

struct TimeOfDay {
  int hour;
  int minute;
  int second;
  int millisecond;
};

// Local time of day in seconds since midnight, to the millisecond
// (0 <= t < 86400).
Real seconds_since_midnight();

// Seconds on a clock that only moves forward at a steady rate, from an
// arbitrary origin: the measure for time limits, which a change of the
// system clock or midnight must not cut short or stretch.
Real monotonic_seconds();

// nullptr puts the system clock back.
using TimeOfDaySource = TimeOfDay (*)();
using MonotonicSource = Real (*)();
void set_time_of_day_source(TimeOfDaySource source);
void set_monotonic_source(MonotonicSource source);
