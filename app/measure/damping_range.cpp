#include "app/measure/damping_range.hpp"

#include "app/measure/parameters.hpp"

namespace {

__int128 power_of_ten(int places) {
  __int128 p = 1;
  for (int i = 0; i < places; ++i) p *= 10;
  return p;
}

// Sign of a/10^p - b/10^q, exactly.
int compare(const DecimalFraction& a, const DecimalFraction& b) {
  const __int128 left = static_cast<__int128>(a.digits) * power_of_ten(b.places);
  const __int128 right = static_cast<__int128>(b.digits) * power_of_ten(a.places);
  return left < right ? -1 : left > right ? 1 : 0;
}

}  // namespace

std::optional<DecimalFraction> parse_decimal_fraction(std::string_view text) {
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  auto all_digits = [](std::string_view s) { return s.find_first_not_of("0123456789") == std::string_view::npos; };
  if (!all_digits(whole) || !all_digits(fraction)) return std::nullopt;
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
  if (fraction.size() > DampingMaxPlaces || whole.size() > 1) return std::nullopt;
  DecimalFraction value;
  value.digits = whole.empty() ? 0 : whole[0] - '0';
  for (char c : fraction) value.digits = value.digits * 10 + (c - '0');
  value.places = static_cast<int>(fraction.size());
  if (compare(value, DecimalFraction{1, 0}) > 0) return std::nullopt;
  return value;
}

std::optional<DampingRange> parse_damping_range(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<DecimalFraction> low = parse_decimal_fraction(text.substr(0, colon));
  const std::optional<DecimalFraction> high = parse_decimal_fraction(text.substr(colon + 1));
  if (!low || !high || compare(*low, *high) > 0) return std::nullopt;
  return DampingRange{*low, *high, std::string(text)};
}

bool DampingRange::contains_column(std::int32_t column) const {
  const DecimalFraction damping{column - Margin, 0};
  // (x - 50) / 800 against d / 10^p: (x - 50) * 10^p against d * 800.
  auto against = [&](const DecimalFraction& bound) {
    const __int128 left = static_cast<__int128>(damping.digits) * power_of_ten(bound.places);
    const __int128 right = static_cast<__int128>(bound.digits) * PlotWidth;
    return left < right ? -1 : left > right ? 1 : 0;
  };
  return against(low) >= 0 && against(high) <= 0;
}
