#include "runtime/clock.hpp"

#include <atomic>
#include <cstdint>
#include <ctime>

#include "runtime/errors.hpp"

namespace {

TimeOfDay system_time_of_day() {
  auto now = call_platform([] {
    timespec t{};
    std::tm local{};
    clock_gettime(CLOCK_REALTIME, &t);
    localtime_r(&t.tv_sec, &local);
    return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(t.tv_nsec / 1000000)};
  });
  return now.value;
}

Real system_monotonic() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<Real>(t.tv_sec) + static_cast<Real>(t.tv_nsec) / 1e9L;
}

std::atomic<TimeOfDaySource> time_of_day_source{&system_time_of_day};
std::atomic<MonotonicSource> monotonic_source{&system_monotonic};

}  // namespace

Real seconds_since_midnight() {
  const TimeOfDay t = time_of_day_source.load()();
  // A leap second (tm_sec 60) stays within the day as its last instant.
  const int second = t.second > 59 ? 59 : t.second;
  const std::int32_t ms = t.hour * 3600000 + t.minute * 60000 + second * 1000 + t.millisecond;
  return static_cast<Real>(ms) / 1000;
}

Real monotonic_seconds() { return monotonic_source.load()(); }

void set_time_of_day_source(TimeOfDaySource source) {
  time_of_day_source.store(source != nullptr ? source : &system_time_of_day);
}

void set_monotonic_source(MonotonicSource source) {
  monotonic_source.store(source != nullptr ? source : &system_monotonic);
}
