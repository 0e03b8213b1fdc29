#include "runtime/format.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include "runtime/decimal_image.hpp"
#include "runtime/errors.hpp"
#include "runtime/format_mask.hpp"

namespace {

bool is_odd_digit(char d) { return ((d - '0') & 1) != 0; }

// Whether digits cut off at image digit `first_dropped` make the kept digits
// round up: above 5 up, below 5 down, exactly 5 with only zeros after it to
// the even kept digit (`last_kept`, or down when nothing is kept).
bool rounds_up(const DecimalImage& image, std::int64_t first_dropped, const char* last_kept) {
  char d = image_digit(image, first_dropped);
  if (d != '5') return d > '5';
  for (std::int64_t t = std::max<std::int64_t>(first_dropped + 1, 0); t < ImageDigits; ++t) {
    if (image.digits[static_cast<std::size_t>(t)] != '0') return true;
  }
  return last_kept != nullptr && is_odd_digit(*last_kept);
}

// Adds one to the last digit; true when the carry runs out of the leftmost.
bool increment(std::string& digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  return true;
}

// The digits shown by a mask without exponent: the integer digits (a single
// "0" when there are none) followed by exactly `fraction` digits, rounded.
std::string fixed_digits(const DecimalImage& image, std::int64_t fraction) {
  std::int64_t exponent = image.exponent;
  std::int64_t integer_count = std::max<std::int64_t>(exponent, 0);
  std::int64_t lead = std::min<std::int64_t>(exponent, 0);  // zeros before the image when E < 0
  std::int64_t kept = integer_count + fraction;
  std::string digits(static_cast<std::size_t>(kept), '0');
  for (std::int64_t i = 0; i < kept; ++i) digits[static_cast<std::size_t>(i)] = image_digit(image, i + lead);
  const char* last = kept > 0 ? &digits.back() : nullptr;
  if (rounds_up(image, kept + lead, last) && increment(digits)) {
    digits.insert(digits.begin(), '1');
    ++integer_count;
  }
  if (integer_count == 0) digits.insert(digits.begin(), '0');
  return digits;
}

// The first `count` digits of the image, rounded; a carry out of the leftmost
// digit gives 1 followed by zeros and raises the exponent by one.
std::string mantissa_digits(const DecimalImage& image, std::int64_t count, std::int64_t& exponent) {
  std::string digits(static_cast<std::size_t>(count), '0');
  for (std::int64_t i = 0; i < count; ++i) digits[static_cast<std::size_t>(i)] = image_digit(image, i);
  const char* last = count > 0 ? &digits.back() : nullptr;
  if (rounds_up(image, count, last) && increment(digits)) {
    if (!digits.empty()) digits[0] = '1';
    ++exponent;
  }
  return digits;
}

// The first position before `last` that takes integer digits, or `last`
// when there is none.
std::size_t leftmost_integer_position(const std::vector<MaskPosition>& positions, std::size_t last) {
  for (std::size_t p = 0; p < last; ++p) {
    const MaskPosition& pos = positions[p];
    if (pos.kind != PositionKind::Literal && !pos.fraction) return p;
  }
  return last;
}

// The mantissa's text as it is built right to left, position by position,
// with what the sign needs to know of where it can go.
struct MantissaText {
  const CompiledMask& mask;
  const std::string& digits;
  std::size_t remaining;  // digits not placed yet, from the left
  std::string rev;        // the text, right to left
  bool fraction_nonzero = false;
  std::size_t integer_shown = 0;
  // Where the sign goes (an index into rev), and a fill character that it
  // replaces when the position beside the leftmost digit is a free fill.
  std::size_t sign_at = std::string::npos;
  std::size_t fill_beside_sign = std::string::npos;
  std::size_t point_at = std::string::npos;
  std::size_t fraction_leftmost = std::string::npos;

  MantissaText(const CompiledMask& m, const std::string& d) : mask(m), digits(d), remaining(d.size()) {}

  void put_integer(char d) {
    if (mask.grouping && integer_shown > 0 && integer_shown % 3 == 0) rev.push_back(',');
    rev.push_back(d);
    ++integer_shown;
    sign_at = rev.size();
    fill_beside_sign = std::string::npos;
  }

  void put_literal(const MaskPosition& pos) {
    rev.push_back(pos.ch);
    if (pos.decimal_point) point_at = rev.size();
  }

  // An optional fraction position shows nothing until a nonzero digit has
  // been placed to its right.
  void put_fraction(const MaskPosition& pos) {
    char d = digits[--remaining];
    if (d != '0') fraction_nonzero = true;
    if (pos.kind == PositionKind::Optional && !fraction_nonzero) return;
    rev.push_back(d);
    fraction_leftmost = rev.size();
  }

  // The leftmost integer position also takes every digit left over; once
  // the digits are used up, zero positions show 0 and fill positions their
  // fill character.
  void put_integer_position(const MaskPosition& pos, bool leftmost) {
    const bool beside_digit = sign_at == rev.size() && sign_at != std::string::npos;
    if (remaining > 0) {
      put_integer(digits[--remaining]);
      if (leftmost) {
        while (remaining > 0) put_integer(digits[--remaining]);
      }
      return;
    }
    switch (pos.kind) {
      case PositionKind::Zero:
        put_integer('0');
        break;
      case PositionKind::Fill:
        rev.push_back(pos.ch);
        if (beside_digit) fill_beside_sign = rev.size() - 1;
        break;
      default:
        break;
    }
  }

  // The sign goes beside the leftmost integer digit or zero shown; without
  // one, before the decimal point or the fraction; failing all, in front.
  void put_minus() {
    if (sign_at != std::string::npos) {
      if (fill_beside_sign != std::string::npos) {
        rev[fill_beside_sign] = '-';
      } else {
        rev.insert(rev.begin() + static_cast<std::ptrdiff_t>(sign_at), '-');
      }
    } else if (point_at != std::string::npos) {
      rev.insert(rev.begin() + static_cast<std::ptrdiff_t>(point_at), '-');
    } else if (fraction_leftmost != std::string::npos) {
      rev.insert(rev.begin() + static_cast<std::ptrdiff_t>(fraction_leftmost), '-');
    } else {
      rev.push_back('-');
    }
  }
};

// Places the digit string into the positions before `last`, right to left,
// and appends the text to `out`. The fraction digits (as many as the
// mask has fraction positions, at the right end) go into the fraction
// positions; the rest into the integer positions, with any left over beside
// the leftmost one.
void place_mantissa(const CompiledMask& mask, std::size_t last, const std::string& digits, bool negative,
                    std::string& out) {
  const std::size_t leftmost_integer = leftmost_integer_position(mask.positions, last);
  MantissaText text(mask, digits);
  for (std::size_t p = last; p-- > 0;) {
    const MaskPosition& pos = mask.positions[p];
    if (pos.kind == PositionKind::Literal) {
      text.put_literal(pos);
    } else if (pos.fraction) {
      text.put_fraction(pos);
    } else {
      text.put_integer_position(pos, p == leftmost_integer);
    }
  }
  if (negative) text.put_minus();
  out.append(text.rev.rbegin(), text.rev.rend());
}

// Places the exponent text ("-12", "+3", "7") into the exponent positions,
// right to left, with characters left over beside the leftmost one.
void place_exponent(const CompiledMask& mask, const std::string& text, std::string& out) {
  const std::vector<MaskPosition>& positions = mask.positions;
  std::size_t first = mask.exponent_start;
  std::size_t leftmost = positions.size();
  for (std::size_t p = first; p < positions.size(); ++p) {
    if (positions[p].kind != PositionKind::Literal) {
      leftmost = p;
      break;
    }
  }
  std::string rev;
  std::size_t remaining = text.size();
  for (std::size_t p = positions.size(); p-- > first;) {
    const MaskPosition& pos = positions[p];
    if (pos.kind == PositionKind::Literal) {
      rev.push_back(pos.ch);
      continue;
    }
    if (remaining > 0) {
      rev.push_back(text[--remaining]);
      if (p == leftmost) {
        while (remaining > 0) rev.push_back(text[--remaining]);
      }
      continue;
    }
    if (pos.kind == PositionKind::Zero) rev.push_back('0');
    if (pos.kind == PositionKind::Fill) rev.push_back(pos.ch);
  }
  out.append(rev.rbegin(), rev.rend());
}

// The text of a value with no usable mask: 15 significant digits, trailing
// zeros removed, plain or with an exponent ("2.5", ".001", "1E+15").
Text general_number_text(Real value) {
  DecimalImage image = decimal_image(value);
  if (image.digits[0] == '0') return "0";
  constexpr int Significant = 15;
  std::int64_t exponent = image.exponent;
  std::string digits = mantissa_digits(image, Significant, exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::int64_t n = static_cast<std::int64_t>(digits.size());

  Text out = value < 0 ? "-" : "";
  if (exponent >= 1 && exponent <= Significant) {
    std::size_t point = static_cast<std::size_t>(exponent);
    if (digits.size() <= point) {
      out += digits;
      out.append(point - digits.size(), '0');
    } else {
      out.append(digits, 0, point);
      out += '.';
      out.append(digits, point, std::string::npos);
    }
  } else if (exponent <= 0 && -exponent + n <= Significant) {
    out += '.';
    out.append(static_cast<std::size_t>(-exponent), '0');
    out += digits;
  } else {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1, std::string::npos);
    }
    std::int64_t shown = exponent - 1;
    out += shown < 0 ? "E-" : "E+";
    out += std::to_string(shown < 0 ? -shown : shown);
  }
  return out;
}

Text format_section(Real value, bool show_sign, const CompiledMask& mask) {
  DecimalImage image = decimal_image(value);
  bool negative = show_sign && value < 0;
  std::int64_t exponent = image.exponent;
  if (mask.percent && value != 0) exponent += 2;
  image.exponent = static_cast<std::int32_t>(exponent);

  Text out;
  if (mask.exponent_mode == ExponentMode::None) {
    std::string digits = fixed_digits(image, mask.fraction_digits);
    // A lone zero digit carries no sign; "-0.0" keeps it.
    if (digits == "0") negative = false;
    place_mantissa(mask, mask.positions.size(), digits, negative, out);
    return out;
  }

  std::int64_t shown = exponent - mask.integer_digits;
  std::string digits = mantissa_digits(image, mask.integer_digits + mask.fraction_digits, shown);
  if (digits == "0") negative = false;
  place_mantissa(mask, mask.exponent_start, digits, negative, out);
  std::string text;
  if (shown < 0) {
    text = "-";
  } else if (mask.exponent_mode == ExponentMode::Plus) {
    text = "+";
  }
  std::uint64_t magnitude = shown < 0 ? static_cast<std::uint64_t>(-shown) : static_cast<std::uint64_t>(shown);
  text += std::to_string(magnitude);
  place_exponent(mask, text, out);
  return out;
}

Text format_number_unguarded(Real value, std::string_view mask) {
  // Shown as digits, a NaN would pass for a real result (its image is zeros).
  if (std::isnan(value)) return "NaN";
  MaskSections sections = split_mask(mask);
  std::string_view section = sections.section[0];
  Real shown = value;
  bool show_sign = false;
  if (value < 0) {
    if (sections.separators == 0 || sections.only_separator_ends_mask) {
      show_sign = true;
    } else {
      section = sections.section[1];
      shown = -value;
    }
  } else if (value == 0 && sections.separators == 2 && !sections.section[2].empty()) {
    section = sections.section[2];
  }
  if (section.empty()) return general_number_text(shown);
  return format_section(shown, show_sign, compile_mask_section(section));
}

}  // namespace

Text format_number(Real value, std::string_view mask) {
  try {
    return format_number_unguarded(value, mask);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  raise_error(7);
  return Text();
}
