#include "canvas/font_table.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/errors.hpp"

namespace {

// Slots are numbered from 1 in table order and never removed. The lock is
// held only while the list is walked or a slot's fields are read or changed,
// never while a font is being made.
struct FontTable {
  SpinLock lock;
  std::vector<std::unique_ptr<FontSlot>> slots;
};

FontDescription built_in_description(const char* face) {
  FontDescription description;
  description.weight = 400;
  description.char_set = 1;
  std::strncpy(description.face_name, face, sizeof description.face_name - 1);
  return description;
}

std::unique_ptr<FontSlot> built_in_slot(int number, const char* face, float points) {
  auto slot = std::make_unique<FontSlot>();
  slot->reference_count = 1;
  slot->number = number;
  slot->point_size = points;
  slot->description = built_in_description(face);
  return slot;
}

// Built on first use, with the two built-in slots; never destroyed, since
// the fonts it holds may be in use until the process ends.
FontTable& table() {
  static FontTable* instance = [] {
    auto* t = new FontTable;
    t->slots.push_back(built_in_slot(1, "MS Sans Serif", 8.0f));
    t->slots.push_back(built_in_slot(2, "Courier New", 0.0f));
    return t;
  }();
  return *instance;
}

// The slot with that number; call with the lock held.
FontSlot* find_locked(FontTable& t, int number) {
  if (number < 1 || static_cast<std::size_t>(number) > t.slots.size()) return nullptr;
  return t.slots[static_cast<std::size_t>(number) - 1].get();
}

// A slot for font_new: the first one freed by font_end, else a new one at
// the end; nullptr when there is no memory for it. Call with the lock held.
FontSlot* unused_slot_locked(FontTable& t) {
  for (const std::unique_ptr<FontSlot>& candidate : t.slots) {
    if (candidate->reference_count == 0 && !candidate->font) return candidate.get();
  }
  try {
    t.slots.push_back(std::make_unique<FontSlot>());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  FontSlot* slot = t.slots.back().get();
  slot->number = static_cast<std::int32_t>(t.slots.size());
  return slot;
}

}  // namespace

int font_new(std::string_view face, float points, int style, int /*charset*/, int pitch, int escapement) {
  FontDescription description;
  description.escapement = escapement;
  description.orientation = escapement;
  description.weight = (style & FontBold) != 0 ? 700 : 400;
  description.italic = (style & FontItalic) != 0 ? 1 : 0;
  description.underline = (style & FontUnderline) != 0 ? 1 : 0;
  description.strike_out = (style & FontStrikeOut) != 0 ? 1 : 0;
  description.char_set = 1;
  description.pitch_and_family = static_cast<std::uint8_t>(pitch & 0xFF);
  std::memcpy(description.face_name, face.data(), std::min(face.size(), sizeof description.face_name - 1));
  if (points == 0.0f) points = 8.0f;

  FontTable& t = table();
  int number = 0;  // none: slots are numbered from 1
  {
    SpinGuard guard(t.lock);
    if (FontSlot* slot = unused_slot_locked(t)) {
      slot->reference_count = 1;
      slot->point_size = points;
      slot->description = description;
      number = slot->number;
    }
  }
  if (number == 0) raise_error(5);
  return number;
}

void font_end(int number) {
  FontTable& t = table();
  std::shared_ptr<Font> doomed;
  bool free_to_end;
  {
    SpinGuard guard(t.lock);
    FontSlot* slot = find_locked(t, number);
    free_to_end = slot != nullptr && slot->reference_count == 1;
    if (free_to_end) {
      doomed = std::move(slot->font);
      slot->font.reset();
      slot->reference_count = 0;
    }
  }
  if (!free_to_end) raise_error(5);
  // `doomed` closes the face here, outside the table lock.
}

std::optional<FontSlot> font_slot(int number) {
  FontTable& t = table();
  SpinGuard guard(t.lock);
  if (FontSlot* slot = find_locked(t, number)) return *slot;
  return std::nullopt;
}

std::optional<float> font_slot_points(int number) {
  FontTable& t = table();
  SpinGuard guard(t.lock);
  if (FontSlot* slot = find_locked(t, number)) return slot->point_size;
  return std::nullopt;
}

// The font is made outside the lock.
std::shared_ptr<Font> font_slot_font(int number, std::int32_t height_if_new) {
  FontTable& t = table();
  FontDescription description;
  {
    SpinGuard guard(t.lock);
    const FontSlot* slot = find_locked(t, number);
    if (slot == nullptr) return nullptr;
    if (slot->font) return slot->font;
    description = slot->description;
  }

  description.height = height_if_new;
  std::shared_ptr<Font> font = font_open(description);
  if (!font) return nullptr;

  {
    SpinGuard guard(t.lock);
    FontSlot* slot = find_locked(t, number);
    if (slot->font) {
      font = slot->font;
    } else {
      slot->description.height = height_if_new;
      slot->font = font;
    }
  }
  return font;
}

void font_slot_hold(int number) {
  FontTable& t = table();
  SpinGuard guard(t.lock);
  find_locked(t, number)->reference_count += 1;
}

bool font_slot_move_hold(int previous, int number) {
  FontTable& t = table();
  SpinGuard guard(t.lock);
  find_locked(t, number)->reference_count += 1;
  FontSlot* old = find_locked(t, previous);
  if (old == nullptr) return false;
  old->reference_count -= 1;
  return true;
}

void font_slot_release(int number) {
  FontTable& t = table();
  SpinGuard guard(t.lock);
  if (FontSlot* slot = find_locked(t, number)) slot->reference_count -= 1;
}
