#include "app/number_text.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

// Each parser reads a NUL-terminated copy of the text, so that the C
// library's end pointer says whether the whole text was the number.

std::optional<long long> parse_long_long(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(copy.c_str(), &end, 10);
  if (*end != '\0' || errno != 0) return std::nullopt;
  return value;
}

std::optional<Real> parse_real(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const Real value = std::strtold(copy.c_str(), &end);
  if (*end != '\0') return std::nullopt;
  return value;
}

std::optional<double> parse_finite_double(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(copy.c_str(), &end);
  if (*end != '\0' || errno != 0 || !std::isfinite(value)) return std::nullopt;
  return value;
}
