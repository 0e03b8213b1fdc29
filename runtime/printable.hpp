// Bytes of a value or a file name shown inside a one-line message. Such a
// value may hold any byte: a line feed would break the message in two, and
// an escape sequence would drive the terminal that shows it. Header-only, so
// that the converter, which links only the file replacement, can use it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// `text` with every control character and every byte that does not belong
// to a well-formed UTF-8 character written as an escape: \n, \r and \t by
// name, every other one as \xHH (the C1 controls U+0080 to U+009F, two bytes
// in UTF-8, as the two). All other characters stay as they are.
inline std::string escape_controls(std::string_view text) {
  static constexpr char Hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const auto escape = [&](unsigned char b) {
    if (b == '\n') out += "\\n";
    else if (b == '\r') out += "\\r";
    else if (b == '\t') out += "\\t";
    else {
      out += "\\x";
      out += Hex[b >> 4];
      out += Hex[b & 15];
    }
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
      if (lead < 0x20 || lead == 0x7F) escape(lead);
      else out += static_cast<char>(lead);
      ++i;
      continue;
    }
    std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length > 1) {
      // The second byte's range excludes overlong forms, surrogates and
      // characters beyond U+10FFFF.
      const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
      const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
      if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) length = 0;
      for (std::size_t k = 2; length != 0 && k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) length = 0;
    }
    const bool c1_control = length == 2 && lead == 0xC2 && byte(i + 1) < 0xA0;
    if (length == 0 || c1_control) {
      for (std::size_t k = 0; k < (c1_control ? 2u : 1u); ++k) escape(byte(i + k));
      i += c1_control ? 2 : 1;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}
