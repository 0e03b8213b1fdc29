// The damping range of --damping, kept as the exact decimal numbers the user
// typed, so that a column whose damping (x - 50) / 800 equals a bound is
// inside the range: no rounding of either side can move an edge.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// digits / 10^places, between 0 and 1.
struct DecimalFraction {
  std::int64_t digits = 0;
  int places = 0;
};

// Most decimal places a bound may have (trailing zeros do not count).
constexpr int DampingMaxPlaces = 18;

// "0", "1", "0.25", ".5", "1.000": digits with at most one point, no sign,
// no exponent, at most 1 and at most DampingMaxPlaces places.
std::optional<DecimalFraction> parse_decimal_fraction(std::string_view text);

struct DampingRange {
  DecimalFraction low{0, 0};
  DecimalFraction high{1, 0};
  std::string text = "0:1";  // as typed, for the checkpoint's options line

  // Whether the damping of pixel column x, exactly (x - 50) / 800, lies in
  // [low, high].
  bool contains_column(std::int32_t column) const;
};

// "LOW:HIGH" with LOW <= HIGH; none when the text is not such a range.
std::optional<DampingRange> parse_damping_range(std::string_view text);
