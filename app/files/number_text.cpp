#include "app/files/number_text.hpp"

#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

// Each parser reads a NUL-terminated copy of the text, and the C library's
// end pointer must reach the copy's whole length: a NUL byte inside the
// field would otherwise end the number early and hide the rest. Leading
// white space, which the C library skips, is a stray byte too.

namespace {

bool whole(const std::string& copy, const char* end) {
  return end == copy.c_str() + copy.size() && !std::isspace(static_cast<unsigned char>(copy.front()));
}

}  // namespace

std::optional<long long> parse_long_long(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(copy.c_str(), &end, 10);
  if (!whole(copy, end) || errno != 0) return std::nullopt;
  return value;
}

std::optional<Real> parse_real(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const Real value = std::strtold(copy.c_str(), &end);
  if (!whole(copy, end)) return std::nullopt;
  return value;
}

std::optional<double> parse_finite_double(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(copy.c_str(), &end);
  if (!whole(copy, end) || errno != 0 || !std::isfinite(value)) return std::nullopt;
  return value;
}
