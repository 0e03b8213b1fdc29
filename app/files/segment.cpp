#include "app/files/segment.hpp"

#include <cstdlib>

#include "app/measure/parameters.hpp"

namespace {

bool parse_count(const std::string& text, int& out) {
  if (text.empty() || text.size() > 3) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  out = std::atoi(text.c_str());
  return true;
}

}  // namespace

std::optional<Segment> parse_segment(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  Segment s;
  if (!parse_count(text.substr(0, slash), s.index) || !parse_count(text.substr(slash + 1), s.count)) {
    return std::nullopt;
  }
  if (s.index < 1 || s.index > s.count || s.count > ColumnCount) return std::nullopt;
  return s;
}

std::string segment_tag(const Segment& segment) {
  return std::to_string(segment.index) + "-" + std::to_string(segment.count);
}

std::vector<std::int32_t> segment_columns(const std::vector<std::int32_t>& columns, const Segment& segment) {
  const std::size_t n = columns.size();
  const std::size_t k = static_cast<std::size_t>(segment.count);
  if (n < k) return {};
  const std::size_t i = static_cast<std::size_t>(segment.index);
  const std::size_t from = (i - 1) * n / k;
  const std::size_t to = i * n / k;
  return std::vector<std::int32_t>(columns.begin() + static_cast<std::ptrdiff_t>(from),
                                   columns.begin() + static_cast<std::ptrdiff_t>(to));
}
