// Code page 437: the glyph each byte shows on the console, and the byte that
// a typed character stands for. Output text is bytes of this code page; the
// terminal speaks UTF-8.
#pragma once

#include <string>
#include <string_view>

// The Unicode code point of the glyph shown for `byte` (0x0A shows as a
// rectangle with a ring, 0xF1 as a plus-minus sign). Byte 0 shows as a space.
char32_t cp437_glyph(unsigned char byte);

// The glyphs of `bytes`, encoded as UTF-8.
std::string cp437_to_utf8(std::string_view bytes);

// Appends the UTF-8 encoding of `code_point` to `out`.
void append_utf8(std::string& out, char32_t code_point);

// The byte 0x80 to 0xFF whose glyph is `code_point`, or -1 when the code page
// has no such glyph there. Characters below 0x80 are their own bytes.
int cp437_byte_for(char32_t code_point);
