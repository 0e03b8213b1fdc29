// Numeric functions of the runtime, all in 80-bit extended precision under
// the control word set at start-up (round to nearest, exceptions masked).
#pragma once

#include <cstdint>

#include "runtime/real.hpp"

// x^y. A negative base first rounds y to an integer; integer exponents below
// 65536 in magnitude use binary exponentiation (a square is x*x rounded
// once); 1.5 and 0.25 take exact-enough fast paths (x*sqrt(x), sqrt(sqrt(x)));
// everything else is exp(y ln x).
Real power(Real x, Real y);
// The general form exp(y ln x), without the fast paths (kept for comparison).
Real power_by_exp_ln(Real x, Real y);

// ln x; 0 for x <= 0, infinities, NaN and denormals.
Real natural_log(Real x);
// sqrt x; a negative argument or NaN is returned unchanged.
Real square_root(Real x);
// x rounded to n decimal places, ties to even; n of 18 or more (or negative)
// means 18.
Real round_to_digits(Real x, std::int32_t n);
// -1 for x < 0 and NaN, 0 for +-0, 1 for x > 0.
std::int32_t sign_of(Real x);
// a - b*trunc(a/b), exact, with the sign of a; 0 when b is 0.
Real float_mod(Real a, Real b);

// 10^n as the product of an exact 10^(n mod 8) and the extended constants
// 10^8, 10^16, 10^32, ..., 10^4096 for the set bits of n / 8.
Real ten_to(std::uint32_t n);

// Real to integer on assignment: nearest, ties to even; outside the 32-bit
// range (or NaN) gives -2147483648.
std::int32_t to_integer(Real x);
// Real to single for canvas arguments: nearest single.
float to_single(Real x);
