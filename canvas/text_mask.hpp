// A line of text rendered as a one-bit mask, and how it lands on a raster:
// its cell's top-left corner at the current position, turned by the font's
// escapement, on an opaque or transparent background. Pure computation.
#pragma once

#include <cstdint>
#include <vector>

#include "canvas/raster.hpp"

struct TextMask {
  // The mask covers the cell and every glyph pixel, which may stick out of it.
  int width = 0;
  int height = 0;
  int cell_x = 0;  // the cell's top-left corner inside the mask
  int cell_y = 0;
  int advance = 0;      // cell width: the sum of the glyph advances
  int cell_height = 0;  // ascent plus descent
  std::vector<std::uint8_t> ink;  // width * height, row-major, 1 = text colour

  bool inked(int x, int y) const { return ink[static_cast<std::size_t>(y) * width + x] != 0; }
};

// Empty mask for a cell of the given size.
TextMask make_text_mask(int advance, int cell_height);

// Offset by which the current point moves after the text: the advance along
// the baseline, turned counter-clockwise by `escapement` tenths of a degree.
struct PointOffset {
  std::int64_t x;
  std::int64_t y;
};
PointOffset text_advance_offset(int advance, int escapement);

// Draws the mask with its cell's top-left corner at (x, y), turned about that
// point by the escapement. With `opaque`, the cell is first filled with
// `background`.
void raster_draw_text(Raster& raster, const TextMask& mask, std::int64_t x, std::int64_t y, int escapement,
                      Colour foreground, bool opaque, Colour background);
