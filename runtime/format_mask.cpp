#include "runtime/format_mask.hpp"

MaskSections split_mask(std::string_view mask) {
  MaskSections sections;
  std::size_t start = 0;
  int found = 0;
  std::size_t i = 0;
  while (i < mask.size() && found < 3) {
    char c = mask[i];
    if (c == '"') {
      std::size_t close = mask.find('"', i + 1);
      i = close == std::string_view::npos ? mask.size() : close + 1;
      continue;
    }
    if (c == '\\') {
      i += 2;
      continue;
    }
    if (c == ';') {
      if (found == 0) sections.only_separator_ends_mask = i + 1 == mask.size();
      sections.section[found] = mask.substr(start, i - start);
      ++found;
      start = i + 1;
      if (found == 3) break;
    }
    ++i;
  }
  if (found < 3) sections.section[found] = mask.substr(start < mask.size() ? start : mask.size());
  sections.separators = found < 2 ? found : 2;
  return sections;
}

namespace {

struct Compiler {
  CompiledMask mask;
  bool point_seen = false;
  bool exponent_on = false;
  bool any_digit = false;
  bool fill_on = false;
  char fill = ' ';

  void literal(char c, bool decimal_point = false) {
    mask.positions.push_back({PositionKind::Literal, c, false, decimal_point});
  }

  void digit(PositionKind kind, char ch) {
    bool fraction = false;
    if (exponent_on) {
      ++mask.exponent_digits;
    } else if (point_seen) {
      ++mask.fraction_digits;
      fraction = true;
    } else {
      ++mask.integer_digits;
    }
    mask.positions.push_back({kind, ch, fraction, false});
    any_digit = true;
  }

  // "#": a digit shown only where the number has one, or the fill
  // character after a "*".
  void optional_digit() {
    if (fill_on) {
      digit(PositionKind::Fill, fill);
    } else {
      digit(PositionKind::Optional, 0);
    }
  }

  // ".": the first one outside the exponent is the decimal point.
  void point() {
    literal('.', !exponent_on && !point_seen);
    if (!exponent_on) point_seen = true;
  }

  // The compiled mask: an exponent without digits is no exponent.
  CompiledMask finish() {
    if (!exponent_on || mask.exponent_digits == 0) {
      mask.exponent_mode = ExponentMode::None;
      mask.exponent_start = mask.positions.size();
    }
    return mask;
  }

  // "E" or "e" at s[i]: an exponent when a digit came before and a sign
  // follows; otherwise the letter alone. Returns the index of the last
  // character used.
  std::size_t exponent(std::string_view s, std::size_t i) {
    if (exponent_on || !any_digit) return i;
    literal(s[i]);
    if (i + 1 < s.size() && (s[i + 1] == '-' || s[i + 1] == '+')) {
      mask.exponent_mode = s[i + 1] == '-' ? ExponentMode::Minus : ExponentMode::Plus;
      exponent_on = true;
      mask.exponent_start = mask.positions.size();
      ++i;
    }
    return i;
  }

  // "*" at s[i]: the next character fills the leading digit positions from
  // here on, and the mark itself stands for two of them. Returns the index
  // of the last character used and whether digit positions were made.
  std::size_t fill_mark(std::string_view s, std::size_t i, bool& made_digits) {
    made_digits = false;
    if (i + 1 >= s.size()) {
      literal('*');
      return i;
    }
    fill = s[++i];
    fill_on = true;
    digit(PositionKind::Fill, fill);
    digit(PositionKind::Fill, fill);
    made_digits = true;
    return i;
  }

  // A quoted text starting at s[i]: its characters as literals. Returns the
  // index of the closing quote (or the end).
  std::size_t quoted(std::string_view s, std::size_t i) {
    std::size_t close = s.find('"', i + 1);
    std::size_t end = close == std::string_view::npos ? s.size() : close;
    for (std::size_t j = i + 1; j < end; ++j) literal(s[j]);
    return end;
  }
};

}  // namespace

CompiledMask compile_mask_section(std::string_view s) {
  Compiler c;
  // Whether the previous mask character made a digit position: "," and "%"
  // mean something only directly after one.
  bool after_digit = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    bool digit_now = false;
    switch (char ch = s[i]) {
      case '0':
        c.digit(PositionKind::Zero, '0');
        digit_now = true;
        break;
      case '#':
        c.optional_digit();
        digit_now = true;
        break;
      case '.':
        c.point();
        break;
      case ',':
        if (after_digit && !c.exponent_on) {
          c.mask.grouping = true;
        } else {
          c.literal(',');
        }
        break;
      case '%':
        if (after_digit) {
          c.mask.percent = true;
          c.literal('%');
        }
        break;
      case 'E':
      case 'e':
        i = c.exponent(s, i);
        break;
      case '*':
        i = c.fill_mark(s, i, digit_now);
        break;
      case '"':
        i = c.quoted(s, i);
        break;
      case '\\':
        if (i + 1 < s.size()) c.literal(s[++i]);
        break;
      case '-':
      case '+':
      case '(':
      case ')':
      case '$':
      case ' ':
        c.literal(ch);
        break;
      default:
        break;
    }
    after_digit = digit_now;
  }
  return c.finish();
}
