// The process-wide table of numbered fonts. Slots 1 ("MS Sans Serif", 8
// points) and 2 ("Courier New") are built in, so the program's first
// font_new returns 3. A slot's font is made at its first selection and then
// shared by every canvas; a slot freed by font_end is handed out again.
//
// The table knows nothing of canvases: a canvas that shows a slot's font
// holds the slot, which counts in its reference count.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "canvas/font_engine.hpp"

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

// A copy of a slot, for inspection.
std::optional<FontSlot> font_slot(int number);

// The point size of a slot; none when there is no such slot.
std::optional<float> font_slot_points(int number);

// The font of a slot, made on first use at `height_if_new` pixels (a
// FontDescription height); the first font stored wins if two threads race.
// Empty for an unknown slot or when the font cannot be made.
std::shared_ptr<Font> font_slot_font(int number, std::int32_t height_if_new);

// A canvas takes hold of slot `number`, which exists.
void font_slot_hold(int number);
// A canvas moves its hold from slot `previous` to slot `number` (which
// exists). False when `previous` does not exist; the new hold is taken all
// the same.
bool font_slot_move_hold(int previous, int number);
// A canvas gives its hold back; nothing for a slot that does not exist.
void font_slot_release(int number);
