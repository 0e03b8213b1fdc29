#include "runtime/clock.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

namespace {

TimeOfDay fake_time;
TimeOfDay fake_clock() { return fake_time; }
Real fake_monotonic_value;
Real fake_monotonic() { return fake_monotonic_value; }

TEST(SecondsSinceMidnight, FromAnInjectedClock) {
  struct Case {
    TimeOfDay time;
    Real expected;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, 0.0L},
      {{23, 59, 59, 999}, static_cast<Real>(86399999) / 1000},
      {{12, 0, 0, 1}, static_cast<Real>(43200001) / 1000},
      {{0, 0, 1, 500}, 1.5L},
      {{1, 1, 1, 1}, static_cast<Real>(3661001) / 1000},
      {{23, 59, 60, 250}, static_cast<Real>(86399250) / 1000},  // a leap second stays within the day
  };
  for (const Case& c : cases) {
    fake_time = c.time;
    set_time_of_day_source(&fake_clock);
    EXPECT_EQ(seconds_since_midnight(), c.expected) << c.time.hour << ":" << c.time.minute << ":" << c.time.second;
  }
  set_time_of_day_source(nullptr);
}

TEST(SecondsSinceMidnight, LastMillisecondIs86399point999) {
  fake_time = {23, 59, 59, 999};
  set_time_of_day_source(&fake_clock);
  const Real t = seconds_since_midnight();
  set_time_of_day_source(nullptr);
  EXPECT_EQ(t, 86399.999L);
  EXPECT_LT(t, 86400.0L);
}

TEST(SecondsSinceMidnight, SystemClockAgreesWithLocalTime) {
  std::time_t before = std::time(nullptr);
  const Real t = seconds_since_midnight();
  std::time_t after = std::time(nullptr);
  std::tm a{}, b{};
  localtime_r(&before, &a);
  localtime_r(&after, &b);
  const int low = a.tm_hour * 3600 + a.tm_min * 60 + a.tm_sec;
  const int high = b.tm_hour * 3600 + b.tm_min * 60 + b.tm_sec + 1;
  EXPECT_GE(t, 0.0L);
  EXPECT_LT(t, 86400.0L);
  if (high > low) {  // not across midnight
    EXPECT_GE(t, low);
    EXPECT_LT(t, high);
  }
  // Whole milliseconds.
  const Real ms = t * 1000;
  EXPECT_LT(std::fabs(ms - std::round(ms)), 1e-6L);
}

TEST(MonotonicSeconds, InjectedAndSystem) {
  fake_monotonic_value = 12345.5L;
  set_monotonic_source(&fake_monotonic);
  EXPECT_EQ(monotonic_seconds(), 12345.5L);
  set_monotonic_source(nullptr);
  const Real a = monotonic_seconds();
  const Real b = monotonic_seconds();
  EXPECT_GT(a, 0.0L);
  EXPECT_GE(b, a);
}

}  // namespace
