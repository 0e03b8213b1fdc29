// The font engine behind font slots: faces found by fontconfig, glyphs drawn
// by FreeType as crisp one-bit masks (no antialiasing), at 96 pixels per
// inch. Bold and italic are synthesised when the matched face lacks them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "canvas/text_mask.hpp"

constexpr int PixelsPerInch = 96;

// The logical description of a font, field for field as a font slot keeps it.
struct FontDescription {
  std::int32_t height = 0;  // pixels; negative: character height without internal leading
  std::int32_t width = 0;
  std::int32_t escapement = 0;  // tenths of a degree, counter-clockwise
  std::int32_t orientation = 0;
  std::int32_t weight = 400;  // 400 normal, 700 bold
  std::uint8_t italic = 0;
  std::uint8_t underline = 0;
  std::uint8_t strike_out = 0;
  std::uint8_t char_set = 1;
  std::uint8_t out_precision = 0;
  std::uint8_t clip_precision = 0;
  std::uint8_t quality = 0;
  std::uint8_t pitch_and_family = 0;
  char face_name[32] = {};  // zero-terminated
};

// Text metrics in pixels, as the canvas keeps them.
struct FontMetrics {
  int ascent = 0;
  int descent = 0;
  int height = 0;  // character (cell) height: ascent + descent
  int internal_leading = 0;
  int external_leading = 0;
  int average_char_width = 0;
  int pixels_per_em = 0;
};

struct Font;  // a realised font; may be shared by canvases on several threads

// Makes the font of a description: the face fontconfig matches for the name
// (a name it cannot match at all gives its default face). Empty only when no
// usable face exists at all.
std::shared_ptr<Font> font_open(const FontDescription& description);

const FontMetrics& font_metrics(const Font& font);
int font_escapement(const Font& font);
// The file the face was loaded from, and its family name.
std::string font_file_name(const Font& font);
std::string font_family_name(const Font& font);

// Width of 8-bit text (Symbol encoding for the face "symbol", else
// Windows-1252): the sum of the glyph advances.
int font_text_width(Font& font, std::string_view text);
// The text as a mask with its cell, underline and strike-out.
TextMask font_render_text(Font& font, std::string_view text);
// The same for Unicode code points, bypassing the 8-bit encodings.
TextMask font_render_code_points(Font& font, std::u32string_view code_points);
