// Text values: counted byte strings of 8-bit characters. A std::string
// carries the value; the empty string needs no storage, and temporaries are
// released by the operation that consumes them simply by going out of scope.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

using Text = std::string;

// The whole rest of a string, as a count.
constexpr std::int32_t TextRest = 0x7FFFFFFF;

void string_assign(Text& variable, Text value);
Text string_concat(std::string_view a, std::string_view b);
// Negative, zero or positive as a is below, equal to or above b, comparing
// bytes as unsigned values; the shorter is the lower when one is a prefix.
int string_compare(std::string_view a, std::string_view b);
// One byte per code (its low 8 bits); -1 contributes nothing.
Text string_from_codes(std::initializer_list<std::int32_t> codes);
// Bytes of s from the 1-based start on, at most count of them. A negative
// count means length + count; a negative start counts from the end (-1 is
// the last byte); a start of 0 or beyond the end gives "".
Text string_mid(std::string_view s, std::int32_t start, std::int32_t count);
// Position of a byte of s that is in set, scanning forward from start when
// start > 0 and backward from length + start + 1 when start < 0; 0 for none.
std::int32_t string_find_any(std::int32_t start, std::string_view s, std::string_view set);
// The part of s from start up to, not including, the first occurrence of the
// delimiter at or after start (all of the rest when there is none).
Text string_extract(std::int32_t start, std::string_view s, std::string_view delimiter);
// Remove leading, respectively trailing, spaces (0x20 only).
Text string_trim_left(std::string_view s);
Text string_trim_right(std::string_view s);
