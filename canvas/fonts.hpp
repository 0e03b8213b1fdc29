// The process-wide table of numbered fonts. Slots 1 ("MS Sans Serif", 8
// points) and 2 ("Courier New") are built in, so the program's first
// font_new returns 3. A slot's font is made at its first selection and then
// shared by every canvas; a slot freed by font_end is handed out again.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "canvas/font_engine.hpp"

struct Canvas;

// Style bits of font_new.
constexpr int FontBold = 1;
constexpr int FontItalic = 2;
constexpr int FontUnderline = 4;
constexpr int FontStrikeOut = 8;

struct FontSlot {
  std::int32_t reference_count = 0;  // 1 for font_new, +1 per canvas holding it
  std::int32_t number = 0;
  std::shared_ptr<Font> font;  // none until first selected
  float point_size = 0;
  FontDescription description;
};

// Describes a font and returns its slot number. The character set is
// accepted and ignored; a point size of 0 means 8; the face name keeps its
// first 31 bytes. Run-time error 5 (result 0) when no slot can be made.
int font_new(std::string_view face, float points, int style, int charset, int pitch, int escapement);

// Frees a slot that no canvas holds (reference count 1); otherwise, or for a
// slot that does not exist, run-time error 5.
void font_end(int slot);

// Selects a slot into the current canvas, making its font on first use
// (run-time error 5 when it cannot be made). An unknown slot does nothing.
void canvas_set_font(int slot);

// A copy of a slot, for inspection.
std::optional<FontSlot> font_slot(int number);

// For the canvas record: selects slot 1 into a new canvas, and gives a
// destroyed canvas's slot back.
void canvas_select_default_font(Canvas& canvas);
void font_release_slot(int number);
