#include "runtime/decimal_image.hpp"

#include <cmath>

#include "runtime/numeric.hpp"

namespace {

constexpr Real OneE17 = 1e17L;
constexpr Real OneE18 = 1e18L;
// The largest n for which 10^n is a finite extended real.
constexpr std::int32_t LargestFinitePower = 4932;

// magnitude x 10^n, the power formed by ten_to. Denormals need more than
// 10^4932; the product is then taken in two steps so that the power itself
// never overflows.
Real scale_by_ten(Real magnitude, std::int32_t n) {
  if (n < 0) return magnitude / ten_to(static_cast<std::uint32_t>(-n));
  if (n > LargestFinitePower) {
    return magnitude * ten_to(static_cast<std::uint32_t>(n - 4096)) * ten_to(4096);
  }
  return magnitude * ten_to(static_cast<std::uint32_t>(n));
}

// The value scaled to an integer of 18 digits, with the matching k.
Real scaled_integer(Real magnitude, std::int32_t k) { return std::nearbyint(scale_by_ten(magnitude, 17 - k)); }

}  // namespace

DecimalImage decimal_image(Real value) {
  DecimalImage image{};
  if (std::isinf(value)) {
    image.digits.fill('9');
    image.exponent = 999;
    return image;
  }
  image.digits.fill('0');
  image.exponent = 1;
  if (std::isnan(value) || value == 0) return image;

  Real magnitude = std::fabs(value);
  // k estimates floor(log10 |value|) from the binary exponent (ilogb sees the
  // true exponent of a denormal too); 0x4D10 / 65536 is just below log10 2.
  std::int32_t binary_exponent = std::ilogb(magnitude);
  std::int32_t k = static_cast<std::int32_t>((static_cast<std::int64_t>(binary_exponent) * 0x4D10) >> 16);
  Real digits = scaled_integer(magnitude, k);
  if (digits >= OneE18) {
    digits = std::nearbyint(digits / 10);
    ++k;
  } else if (digits < OneE17) {
    // For some negative binary exponents the estimate is one too high and
    // only 17 digits come out; scale once more rather than show a leading 0.
    --k;
    digits = scaled_integer(magnitude, k);
    if (digits >= OneE18) {
      digits = std::nearbyint(digits / 10);
      ++k;
    }
  }
  std::uint64_t n = static_cast<std::uint64_t>(digits);
  for (int i = ImageDigits - 1; i >= 0; --i) {
    image.digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  image.exponent = k + 1;
  return image;
}
