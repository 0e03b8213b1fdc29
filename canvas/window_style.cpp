#include "canvas/window_style.hpp"

#include "canvas/encoding.hpp"

namespace {

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `text[i]`, moving i past it; false when it
// is not a valid, shortest-form encoding of a scalar value.
bool next_utf8(std::string_view text, std::size_t& i, char32_t& c) {
  const auto lead = static_cast<unsigned char>(text[i]);
  int length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    c = lead;
    ++i;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - i < static_cast<std::size_t>(length)) return false;
  for (int k = 1; k < length; ++k) {
    const auto byte = static_cast<unsigned char>(text[i + k]);
    if ((byte & 0xC0) != 0x80) return false;
    c = (c << 6) | (byte & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  i += length;
  return true;
}

std::u32string decode_caption(std::string_view caption) {
  std::u32string decoded;
  for (std::size_t i = 0; i < caption.size();) {
    char32_t c = 0;
    if (!next_utf8(caption, i, c)) {
      decoded.clear();
      for (unsigned char byte : caption) decoded += windows_1252_to_unicode(byte);
      return decoded;
    }
    decoded += c;
  }
  return decoded;
}

}  // namespace

std::uint32_t effective_window_style(int style, std::string_view caption) {
  if (style != 0) return static_cast<std::uint32_t>(style);
  std::uint32_t chosen = StylePopup | StyleBorder | StyleSystemMenu | StyleMinimizeBox;
  if (!caption.empty()) chosen |= StyleCaption;
  return chosen;
}

MotifHints motif_hints_for_style(std::uint32_t style) {
  MotifHints hints;
  hints.functions = MotifFunctionMove | MotifFunctionClose;
  if ((style & StyleMinimizeBox) != 0) hints.functions |= MotifFunctionMinimize;
  if ((style & (StyleBorder | StyleDialogFrame | StyleThickFrame)) != 0) hints.decorations |= MotifDecorBorder;
  if ((style & StyleCaption) == StyleCaption) {
    hints.decorations |= MotifDecorTitle;
    if ((style & StyleSystemMenu) != 0) hints.decorations |= MotifDecorMenu;
    if ((style & StyleMinimizeBox) != 0) hints.decorations |= MotifDecorMinimize;
  }
  return hints;
}

std::string caption_utf8(std::string_view caption) {
  std::string out;
  for (char32_t c : decode_caption(caption)) append_utf8(out, c);
  return out;
}

std::string caption_latin1(std::string_view caption) {
  std::string out;
  for (char32_t c : decode_caption(caption)) {
    const bool control = c < 0x20 ? (c != '\t' && c != '\n') : (c >= 0x7F && c < 0xA0);
    out += (c > 0xFF || control) ? '?' : static_cast<char>(c);
  }
  return out;
}
