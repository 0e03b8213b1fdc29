// The decimal image of an extended real: the 18 significant digits that
// number formatting rounds on, and the decimal exponent that places them.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/real.hpp"

constexpr int ImageDigits = 18;

// |value| = 0.digits x 10^exponent. The first digit is non-zero for every
// finite non-zero value. Zero and NaN give all zeros with exponent 1; an
// infinity gives all nines with exponent 999.
struct DecimalImage {
  std::array<char, ImageDigits> digits;  // '0' to '9'
  std::int32_t exponent;
};

// The sign of the value is ignored.
DecimalImage decimal_image(Real value);

// Digit t (0-based) of the image, with the zeros that follow it for t >= 18
// and precede it (as far as the caller counts) for t < 0.
inline char image_digit(const DecimalImage& image, std::int64_t t) {
  return t >= 0 && t < ImageDigits ? image.digits[static_cast<std::size_t>(t)] : '0';
}
