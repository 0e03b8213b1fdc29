#include "runtime/key_decoder.hpp"

#include "runtime/code_page_437.hpp"

namespace {

constexpr unsigned char Esc = 0x1B;

bool is_parameter_byte(unsigned char b) { return b >= 0x30 && b <= 0x3F; }
bool is_intermediate_byte(unsigned char b) { return b >= 0x20 && b <= 0x2F; }
bool is_final_byte(unsigned char b) { return b >= 0x40 && b <= 0x7E; }

unsigned char at(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// Keys that xterm-like terminals send as CSI or SS3 with a final letter.
unsigned char letter_key(unsigned char final_byte) {
  switch (final_byte) {
    case 'A': return scan_code::Up;
    case 'B': return scan_code::Down;
    case 'C': return scan_code::Right;
    case 'D': return scan_code::Left;
    case 'E': return scan_code::Centre;
    case 'H': return scan_code::Home;
    case 'F': return scan_code::End;
    case 'P': return scan_code::F1;
    case 'Q': return scan_code::F2;
    case 'R': return scan_code::F3;
    case 'S': return scan_code::F4;
    default: return 0;
  }
}

// Keys sent as CSI number ~ (VT220 style, also rxvt's Home and End).
unsigned char tilde_key(int number) {
  switch (number) {
    case 1: case 7: return scan_code::Home;
    case 2: return scan_code::Insert;
    case 3: return scan_code::Delete;
    case 4: case 8: return scan_code::End;
    case 5: return scan_code::PageUp;
    case 6: return scan_code::PageDown;
    case 11: return scan_code::F1;
    case 12: return scan_code::F2;
    case 13: return scan_code::F3;
    case 14: return scan_code::F4;
    case 15: return scan_code::F5;
    case 17: return scan_code::F6;
    case 18: return scan_code::F7;
    case 19: return scan_code::F8;
    case 20: return scan_code::F9;
    case 21: return scan_code::F10;
    case 23: return scan_code::F11;
    case 24: return scan_code::F12;
    default: return 0;
  }
}

// Up to two numeric parameters of a CSI sequence ("" gives none).
struct Parameters {
  int count = 0;
  int value[2] = {0, 0};
  bool private_marker = false;
};

Parameters parse_parameters(std::string_view p) {
  Parameters result;
  if (p.empty()) return result;
  if (at(p, 0) >= 0x3C) {  // < = > ? introduce private sequences (mouse, device reports)
    result.private_marker = true;
    return result;
  }
  result.count = 1;
  for (unsigned char b : p) {
    if (b == ';' || b == ':') {
      ++result.count;
    } else if (b >= '0' && b <= '9' && result.count <= 2) {
      int& v = result.value[result.count - 1];
      if (v < 100000) v = v * 10 + (b - '0');
    }
  }
  return result;
}

// Length of the UTF-8 sequence that starts with `lead`, 0 if it cannot start one.
std::size_t utf8_length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Decodes the character at s[i]: sets `key` (possibly empty) and returns the
// number of bytes used.
std::size_t decode_character(std::string_view s, std::size_t i, Text& key) {
  const unsigned char b = at(s, i);
  if (b == 0) {  // Ctrl+2 (also Ctrl+Space) sends NUL
    key = scan_key(0x03);
    return 1;
  }
  if (b == 0x7F) {  // the Backspace key
    key = Text(1, '\b');
    return 1;
  }
  if (b < 0x80) {
    key = Text(1, static_cast<char>(b));
    return 1;
  }
  const std::size_t n = utf8_length(b);
  bool valid = n > 0 && i + n <= s.size();
  char32_t c = n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
  for (std::size_t k = 1; valid && k < n; ++k) {
    const unsigned char t = at(s, i + k);
    if ((t & 0xC0) != 0x80) valid = false;
    c = (c << 6) | (t & 0x3F);
  }
  if (!valid) {
    // Not UTF-8: the terminal sends single bytes, take this one as it is.
    key = Text(1, static_cast<char>(b));
    return 1;
  }
  const int byte = cp437_byte_for(c);
  key = byte < 0 ? Text() : Text(1, static_cast<char>(byte));
  return n;
}

}  // namespace

Text scan_key(unsigned char code) {
  Text key(2, '\0');
  key[1] = static_cast<char>(code);
  return key;
}

unsigned char letter_scan_code(unsigned char letter) {
  static constexpr unsigned char Codes[26] = {
      0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,  // a to m
      0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C,  // n to z
  };
  if (letter >= 'a' && letter <= 'z') return Codes[letter - 'a'];
  if (letter >= 'A' && letter <= 'Z') return Codes[letter - 'A'];
  return 0;
}

namespace {

// The key of a CSI sequence whose parameters start at s[j]: parameters,
// intermediates, one final byte. Returns where the sequence ends; a sequence
// broken off or malformed, or a private one, leaves `item` without a key.
std::size_t decode_csi(std::string_view s, std::size_t j, KeyInputItem& item) {
  if (at(s, j) == '[' && j + 1 < s.size() && at(s, j + 1) >= 'A' && at(s, j + 1) <= 'E') {
    // The Linux console's F1 to F5: ESC [ [ A to ESC [ [ E.
    item.key = scan_key(static_cast<unsigned char>(scan_code::F1 + (at(s, j + 1) - 'A')));
    return j + 2;
  }
  const std::size_t start = j;
  while (j < s.size() && is_parameter_byte(at(s, j))) ++j;
  const std::string_view parameters = s.substr(start, j - start);
  while (j < s.size() && is_intermediate_byte(at(s, j))) ++j;
  if (j == s.size() || !is_final_byte(at(s, j))) return j;
  const unsigned char final_byte = at(s, j);
  const Parameters p = parse_parameters(parameters);
  if (p.private_marker) return j + 1;
  if (final_byte == '~') {
    if (unsigned char code = tilde_key(p.count > 0 ? p.value[0] : 0)) item.key = scan_key(code);
  } else if (final_byte == 'Z') {
    item.key = "\t";  // Shift+Tab
  } else if (unsigned char code = letter_key(final_byte)) {
    item.key = scan_key(code);
    if (final_byte == 'R' && p.count == 2) {
      item.cursor_report = true;
      item.row = p.value[0];
      item.column = p.value[1];
    }
  }
  return j + 1;
}

// The key of an SS3 sequence whose body starts at s[j]: application cursor
// keys and F1 to F4, perhaps with a modifier digit. Returns where it ends;
// one broken off leaves `item` without a key.
std::size_t decode_ss3(std::string_view s, std::size_t j, KeyInputItem& item) {
  while (j < s.size() && is_parameter_byte(at(s, j))) ++j;
  if (j == s.size()) return j;
  const unsigned char final_byte = at(s, j);
  if (final_byte == 'M') {
    item.key = "\r";  // keypad Enter
  } else if (unsigned char code = letter_key(final_byte)) {
    item.key = scan_key(code);
  }
  return j + 1;
}

}  // namespace

std::vector<KeyInputItem> decode_key_input(std::string_view s) {
  std::vector<KeyInputItem> items;
  std::size_t i = 0;
  while (i < s.size()) {
    KeyInputItem item;
    if (at(s, i) != Esc) {
      i += decode_character(s, i, item.key);
    } else if (i + 1 == s.size() || at(s, i + 1) == Esc) {
      item.key = Text(1, static_cast<char>(Esc));
      i += 1;
    } else if (at(s, i + 1) == '[' && i + 2 < s.size()) {
      i = decode_csi(s, i + 2, item);
    } else if (at(s, i + 1) == 'O' && i + 2 < s.size()) {
      i = decode_ss3(s, i + 2, item);
    } else if (unsigned char code = letter_scan_code(at(s, i + 1))) {
      item.key = scan_key(code);  // Alt with a letter
      i += 2;
    } else {
      // Alt with another key: the key's own character.
      i += 1 + decode_character(s, i + 1, item.key);
    }
    if (!item.key.empty()) items.push_back(std::move(item));
  }
  return items;
}

bool key_input_incomplete(std::string_view s) {
  const std::size_t esc = s.rfind(static_cast<char>(Esc));
  if (esc != std::string_view::npos) {
    std::string_view rest = s.substr(esc + 1);
    if (rest.empty()) return true;
    if (rest == "O") return true;
    if (rest[0] == '[') {
      std::size_t j = 1;
      if (j < rest.size() && rest[j] == '[') return rest.size() == 2;
      while (j < rest.size() && (is_parameter_byte(at(rest, j)) || is_intermediate_byte(at(rest, j)))) ++j;
      if (j == rest.size()) return true;
    }
  }
  // A UTF-8 character cut short at the end.
  for (std::size_t back = 1; back <= 3 && back <= s.size(); ++back) {
    const unsigned char b = at(s, s.size() - back);
    if ((b & 0xC0) == 0x80) continue;
    const std::size_t n = utf8_length(b);
    return n > back;
  }
  return false;
}
