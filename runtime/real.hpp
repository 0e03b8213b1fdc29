// The program's real type: the x87 80-bit extended format.
#pragma once

#include <cstdint>
#include <limits>

using Real = long double;
static_assert(std::numeric_limits<Real>::digits == 64, "Real must be the x87 extended type (64-bit significand)");

// A constant given in single precision, widened unchanged to Real.
constexpr Real widen(float value) { return static_cast<Real>(value); }
