#include "canvas/fonts.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "canvas/canvas.hpp"
#include "runtime/errors.hpp"
#include "runtime/numeric.hpp"

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

// Makes a slot's font on its first selection (outside the lock); the first
// font stored wins if two threads race. Empty when it cannot be made.
std::shared_ptr<Font> realise(int number, std::int32_t height_if_new) {
  FontTable& t = table();
  FontDescription description;
  t.lock.lock();
  FontSlot* slot = find_locked(t, number);
  if (slot == nullptr) {
    t.lock.unlock();
    return nullptr;
  }
  if (slot->font) {
    std::shared_ptr<Font> font = slot->font;
    t.lock.unlock();
    return font;
  }
  description = slot->description;
  t.lock.unlock();

  description.height = height_if_new;
  std::shared_ptr<Font> font = font_open(description);
  if (!font) return nullptr;

  t.lock.lock();
  slot = find_locked(t, number);
  if (slot->font) {
    font = slot->font;
  } else {
    slot->description.height = height_if_new;
    slot->font = font;
  }
  t.lock.unlock();
  return font;
}

void load_metrics(Canvas& canvas) {
  if (canvas.font) {
    const FontMetrics& m = font_metrics(*canvas.font);
    canvas.average_char_width = m.average_char_width;
    canvas.char_height = m.height;
    canvas.external_leading = m.external_leading;
  } else {
    canvas.average_char_width = canvas.char_height = canvas.external_leading = 0;
  }
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
  t.lock.lock();
  FontSlot* slot = nullptr;
  for (const std::unique_ptr<FontSlot>& candidate : t.slots) {
    if (candidate->reference_count == 0 && !candidate->font) {
      slot = candidate.get();
      break;
    }
  }
  if (slot == nullptr) {
    try {
      t.slots.push_back(std::make_unique<FontSlot>());
    } catch (const std::bad_alloc&) {
      t.lock.unlock();
      raise_error(5);
      return 0;
    }
    slot = t.slots.back().get();
    slot->number = static_cast<std::int32_t>(t.slots.size());
  }
  slot->reference_count = 1;
  slot->point_size = points;
  slot->description = description;
  const int number = slot->number;
  t.lock.unlock();
  return number;
}

void font_end(int number) {
  FontTable& t = table();
  std::shared_ptr<Font> doomed;
  t.lock.lock();
  FontSlot* slot = find_locked(t, number);
  const bool free_to_end = slot != nullptr && slot->reference_count == 1;
  if (free_to_end) {
    doomed = std::move(slot->font);
    slot->font.reset();
    slot->reference_count = 0;
  }
  t.lock.unlock();
  if (!free_to_end) raise_error(5);
  // `doomed` closes the face here, outside the table lock.
}

void canvas_set_font(int number) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  FontTable& t = table();
  t.lock.lock();
  FontSlot* slot = find_locked(t, number);
  const float points = slot != nullptr ? slot->point_size : 0.0f;
  t.lock.unlock();
  if (slot == nullptr) return;

  // Height in pixels at the surface's resolution, halves to even.
  const std::int64_t pixels = to_integer(static_cast<Real>(PixelsPerInch) * widen(points) / 72);
  const auto height = static_cast<std::int32_t>(std::min<std::int64_t>(-pixels, INT32_MAX));
  std::shared_ptr<Font> font = realise(number, height);
  if (!font) {
    raise_error(5);
    return;
  }

  std::int32_t previous;
  {
    std::lock_guard<std::mutex> guard(canvas->lock);
    previous = canvas->font_slot;
    canvas->font_slot = number;
    canvas->font = font;
    load_metrics(*canvas);
  }
  bool previous_found;
  t.lock.lock();
  find_locked(t, number)->reference_count += 1;
  FontSlot* old = find_locked(t, previous);
  previous_found = old != nullptr;
  if (old != nullptr) old->reference_count -= 1;
  t.lock.unlock();
  if (!previous_found) raise_error(5);
}

std::optional<FontSlot> font_slot(int number) {
  FontTable& t = table();
  std::optional<FontSlot> copy;
  t.lock.lock();
  if (FontSlot* slot = find_locked(t, number)) copy = *slot;
  t.lock.unlock();
  return copy;
}

void canvas_select_default_font(Canvas& canvas) {
  // The first canvas makes slot 1's font, truncating its 8 points to pixels.
  std::shared_ptr<Font> font = realise(1, -(PixelsPerInch * 8 / 72));
  FontTable& t = table();
  t.lock.lock();
  find_locked(t, 1)->reference_count += 1;
  t.lock.unlock();
  std::lock_guard<std::mutex> guard(canvas.lock);
  canvas.font_slot = 1;
  canvas.font = font;
  load_metrics(canvas);
}

void font_release_slot(int number) {
  FontTable& t = table();
  t.lock.lock();
  if (FontSlot* slot = find_locked(t, number)) slot->reference_count -= 1;
  t.lock.unlock();
}
