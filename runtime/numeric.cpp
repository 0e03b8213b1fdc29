#include "runtime/numeric.hpp"

#include <cfloat>
#include <cmath>

namespace {

constexpr Real small_powers[8] = {1.0L, 1e1L, 1e2L, 1e3L, 1e4L, 1e5L, 1e6L, 1e7L};
constexpr Real big_powers[10] = {1e8L,   1e16L,  1e32L,   1e64L,   1e128L,
                                 1e256L, 1e512L, 1e1024L, 1e2048L, 1e4096L};

bool is_integer(Real y) { return std::isfinite(y) && std::nearbyint(y) == y; }

// Binary exponentiation from the most significant bit of |e| (1 <= |e| < 65536).
Real integer_power(Real x, std::int32_t e) {
  std::uint32_t m = static_cast<std::uint32_t>(e < 0 ? -e : e);
  int top = 31 - __builtin_clz(m);
  Real r = x;
  for (int bit = top - 1; bit >= 0; --bit) {
    r = r * r;
    if ((m >> bit) & 1u) r = r * x;
  }
  return e < 0 ? 1.0L / r : r;
}

}  // namespace

Real power_by_exp_ln(Real x, Real y) {
  if (x < 0) y = std::nearbyint(y);
  if (y == 0) return 1.0L;
  if (x == 0) {
    if (y > 0) return 0.0L;
    if (y < 0) return NAN;
  }
  if (is_integer(y) && std::fabs(y) < 65536.0L) return integer_power(x, static_cast<std::int32_t>(y));
  if (x < 0 && is_integer(y) && std::fabs(y) < 18446744073709551616.0L) {
    Real r = std::pow(-x, y);
    Real half = std::fabs(y) / 2;
    return std::nearbyint(half) == half ? r : -r;
  }
  // exp(y ln x), evaluated so that the product y ln x loses nothing.
  return std::pow(x, y);
}

Real power(Real x, Real y) {
  if (x > 0) {
    if (y == 1.5L) return x * std::sqrt(x);
    if (y == 0.25L) return std::sqrt(std::sqrt(x));
  }
  return power_by_exp_ln(x, y);
}

Real natural_log(Real x) {
  if (!(x >= LDBL_MIN) || std::isinf(x)) return 0.0L;
  return std::log(x);
}

Real square_root(Real x) {
  if (!(x >= 0)) return x;
  return std::sqrt(x);
}

Real ten_to(std::uint32_t n) {
  Real r = small_powers[n & 7u];
  std::uint32_t rest = n >> 3;
  for (int bit = 0; rest != 0 && bit < 10; ++bit, rest >>= 1) {
    if (rest & 1u) r = r * big_powers[bit];
  }
  if (rest != 0) return INFINITY;
  return r;
}

Real round_to_digits(Real x, std::int32_t n) {
  std::uint32_t places = static_cast<std::uint32_t>(n);
  if (places > 18) places = 18;
  Real scale = ten_to(places);
  return std::nearbyint(x * scale) / scale;
}

std::int32_t sign_of(Real x) {
  if (x > 0) return 1;
  if (x == 0) return 0;
  return -1;
}

Real float_mod(Real a, Real b) {
  if (b == 0) return 0.0L;
  return std::fmod(a, b);
}

std::int32_t to_integer(Real x) {
  Real r = std::nearbyint(x);
  if (r >= -2147483648.0L && r <= 2147483647.0L) return static_cast<std::int32_t>(r);
  return INT32_MIN;
}

float to_single(Real x) { return static_cast<float>(x); }
