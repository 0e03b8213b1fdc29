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
};

}  // namespace

CompiledMask compile_mask_section(std::string_view s) {
  Compiler c;
  // Whether the previous mask character made a digit position: "," and "%"
  // mean something only directly after one.
  bool after_digit = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char ch = s[i];
    bool digit_now = false;
    switch (ch) {
      case '0':
        c.digit(PositionKind::Zero, '0');
        digit_now = true;
        break;
      case '#':
        if (c.fill_on) {
          c.digit(PositionKind::Fill, c.fill);
        } else {
          c.digit(PositionKind::Optional, 0);
        }
        digit_now = true;
        break;
      case '.':
        c.literal('.', !c.exponent_on && !c.point_seen);
        if (!c.exponent_on) c.point_seen = true;
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
        if (!c.exponent_on && c.any_digit) {
          c.literal(ch);
          if (i + 1 < s.size() && (s[i + 1] == '-' || s[i + 1] == '+')) {
            c.mask.exponent_mode = s[i + 1] == '-' ? ExponentMode::Minus : ExponentMode::Plus;
            c.exponent_on = true;
            c.mask.exponent_start = c.mask.positions.size();
            ++i;
          }
        }
        break;
      case '*':
        if (i + 1 < s.size()) {
          c.fill = s[++i];
          c.fill_on = true;
          c.digit(PositionKind::Fill, c.fill);
          c.digit(PositionKind::Fill, c.fill);
          digit_now = true;
        } else {
          c.literal('*');
        }
        break;
      case '"': {
        std::size_t close = s.find('"', i + 1);
        std::size_t end = close == std::string_view::npos ? s.size() : close;
        for (std::size_t j = i + 1; j < end; ++j) c.literal(s[j]);
        i = end;
        break;
      }
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
  if (!c.exponent_on || c.mask.exponent_digits == 0) {
    c.mask.exponent_mode = ExponentMode::None;
    c.mask.exponent_start = c.mask.positions.size();
  }
  return c.mask;
}
