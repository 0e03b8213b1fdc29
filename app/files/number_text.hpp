// Numbers read from the command line, the checkpoint and the results file.
// A text is one number and nothing else: leading white space and a sign are
// taken as the C library takes them, but an empty text, a text with anything
// after the number, and one that is not a number at all are refused. The
// C library reads the number in the "C" locale the program never leaves, so
// the decimal point is always '.'. A NUL inside the text ends it, as it ends
// the C string the library reads.
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "runtime/real.hpp"

// A decimal integer of any size that strtoll reads; none when the text holds
// anything else or the number does not fit in a long long.
std::optional<long long> parse_long_long(std::string_view text);

// A decimal integer of type T from low to high; none outside that range or
// when the text holds anything else.
template <std::integral T>
std::optional<T> parse_integer(std::string_view text, T low = std::numeric_limits<T>::min(),
                               T high = std::numeric_limits<T>::max()) {
  static_assert(std::in_range<long long>(std::numeric_limits<T>::max()), "T must fit in a long long");
  const std::optional<long long> value = parse_long_long(text);
  if (!value || std::cmp_less(*value, low) || std::cmp_greater(*value, high)) return std::nullopt;
  return static_cast<T>(*value);
}

// An extended real as strtold reads it: decimal or hexadecimal, nan and inf
// included, and a number beyond the range of Real as the infinity or the tiny
// value strtold gives for it. The results file and the checkpoint write every
// value so that this gives it back exactly.
std::optional<Real> parse_real(std::string_view text);

// A finite double as strtod reads it (hexadecimal too); none for nan and inf
// and for a number strtod finds out of range: beyond the largest double, or
// so tiny that a double holds it only rounded to a denormal or to 0.
std::optional<double> parse_finite_double(std::string_view text);
