#include "canvas/glyph_line.hpp"

#include <algorithm>

namespace {

// Text masks larger than this lose the ink beyond it (never the advance).
constexpr std::int64_t MaxMaskPixels = std::int64_t{1} << 26;

// An empty mask that covers the cell and every glyph of the line (with as
// much of its width as MaxMaskPixels allows).
TextMask empty_mask(const std::vector<Glyph>& glyphs, int cell_width, int ascent, int cell_height) {
  // Bounds of the cell and of every glyph, relative to the cell's corner.
  std::int64_t min_x = 0, min_y = 0, max_x = cell_width, max_y = cell_height;
  std::int64_t pen = 0;
  for (const Glyph& g : glyphs) {
    if (g.width > 0 && g.rows > 0) {
      min_x = std::min<std::int64_t>(min_x, pen + g.left);
      max_x = std::max<std::int64_t>(max_x, pen + g.left + g.width);
      min_y = std::min<std::int64_t>(min_y, ascent - g.top);
      max_y = std::max<std::int64_t>(max_y, ascent - g.top + g.rows);
    }
    pen += g.advance;
  }
  const std::int64_t mask_height = max_y - min_y;
  std::int64_t mask_width = max_x - min_x;
  if (mask_height > 0 && mask_width * mask_height > MaxMaskPixels) mask_width = MaxMaskPixels / mask_height;

  TextMask mask;
  mask.width = static_cast<int>(mask_width);
  mask.height = static_cast<int>(mask_height);
  mask.cell_x = static_cast<int>(-min_x);
  mask.cell_y = static_cast<int>(-min_y);
  mask.advance = cell_width;
  mask.cell_height = cell_height;
  mask.ink.assign(static_cast<std::size_t>(mask.width) * mask.height, 0);
  return mask;
}

// Inks one mask pixel; pixels off the mask are dropped.
void put_ink(TextMask& mask, std::int64_t x, std::int64_t y) {
  if (x >= 0 && y >= 0 && x < mask.width && y < mask.height) {
    mask.ink[static_cast<std::size_t>(y) * mask.width + static_cast<std::size_t>(x)] = 1;
  }
}

// Inks the glyphs one after another along the baseline.
void put_glyphs(TextMask& mask, const std::vector<Glyph>& glyphs, int ascent) {
  std::int64_t pen = 0;
  for (const Glyph& g : glyphs) {
    for (int y = 0; y < g.rows; ++y) {
      for (int x = 0; x < g.width; ++x) {
        if (g.ink[static_cast<std::size_t>(y) * g.width + x] != 0) {
          put_ink(mask, mask.cell_x + pen + g.left + x, mask.cell_y + ascent - g.top + y);
        }
      }
    }
    pen += g.advance;
  }
}

// An underline or strike-out: `rows` rows from `top` of the cell, across it.
void put_rule(TextMask& mask, int top, int rows) {
  for (int y = top; y < top + rows; ++y) {
    for (std::int64_t x = 0; x < mask.advance && mask.cell_x + x < mask.width; ++x) {
      put_ink(mask, mask.cell_x + x, mask.cell_y + y);
    }
  }
}

}  // namespace

TextMask glyph_line_mask(const std::vector<Glyph>& glyphs, int ascent, int cell_height,
                         std::span<const TextRule> rules) {
  std::int64_t advance = 0;
  for (const Glyph& g : glyphs) advance += g.advance;
  const int cell_width = static_cast<int>(std::min<std::int64_t>(advance, 1 << 30));
  TextMask mask = empty_mask(glyphs, cell_width, ascent, cell_height);
  put_glyphs(mask, glyphs, ascent);
  for (const TextRule& rule : rules) put_rule(mask, rule.top, rule.rows);
  return mask;
}
