#include "runtime/text.hpp"

#include <algorithm>

void string_assign(Text& variable, Text value) { variable = std::move(value); }

Text string_concat(std::string_view a, std::string_view b) {
  Text result;
  result.reserve(a.size() + b.size());
  result.append(a);
  result.append(b);
  return result;
}

int string_compare(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

Text string_from_codes(std::initializer_list<std::int32_t> codes) {
  Text result;
  for (std::int32_t code : codes) {
    if (code != -1) result.push_back(static_cast<char>(code & 0xFF));
  }
  return result;
}

Text string_mid(std::string_view s, std::int32_t start, std::int32_t count) {
  const std::int64_t length = static_cast<std::int64_t>(s.size());
  std::int64_t n = count;
  if (n < 0) n = length + n;
  if (start == 0) return {};
  std::int64_t from = start;
  if (from < 0) from = length + from + 1;
  if (from < 1 || from > length || n <= 0) return {};
  std::int64_t take = std::min(n, length - from + 1);
  return Text(s.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(take)));
}

std::int32_t string_find_any(std::int32_t start, std::string_view s, std::string_view set) {
  const std::int64_t length = static_cast<std::int64_t>(s.size());
  if (start == 0 || length == 0) return 0;
  if (set.empty()) {
    if (start > 0) return start;
    std::int64_t p = length + start + 1;
    return (p >= 1 && p <= length) ? static_cast<std::int32_t>(p) : 0;
  }
  auto in_set = [&](std::int64_t pos) { return set.find(s[static_cast<std::size_t>(pos - 1)]) != std::string_view::npos; };
  if (start > 0) {
    for (std::int64_t pos = start; pos <= length; ++pos) {
      if (in_set(pos)) return static_cast<std::int32_t>(pos);
    }
    return 0;
  }
  std::int64_t p = length + start + 1;
  if (p < 1) return 0;
  for (std::int64_t pos = p; pos >= 1; --pos) {
    if (in_set(pos)) return static_cast<std::int32_t>(pos);
  }
  return 0;
}

Text string_extract(std::int32_t start, std::string_view s, std::string_view delimiter) {
  const std::int64_t length = static_cast<std::int64_t>(s.size());
  if (start == 0) return {};
  std::int64_t from = start;
  if (from < 0) from = length + from + 1;
  if (delimiter.empty()) return Text(s);
  if (from < 1 || from > length) return {};
  std::string_view rest = s.substr(static_cast<std::size_t>(from - 1));
  return Text(rest.substr(0, rest.find(delimiter)));
}

Text string_trim_left(std::string_view s) {
  std::size_t first = s.find_first_not_of(' ');
  return first == std::string_view::npos ? Text{} : Text(s.substr(first));
}

Text string_trim_right(std::string_view s) {
  std::size_t last = s.find_last_not_of(' ');
  return last == std::string_view::npos ? Text{} : Text(s.substr(0, last + 1));
}
