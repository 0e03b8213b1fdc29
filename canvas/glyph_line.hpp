// A line of drawn glyphs laid out as a text mask: the glyphs one after
// another along the baseline, with the underline and strike-out across the
// cell. Pure computation; the font engine draws the glyphs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "canvas/text_mask.hpp"

// One glyph as drawn at the font's size.
struct Glyph {
  int advance = 0;
  int left = 0;  // bitmap offset from the pen position
  int top = 0;   // bitmap rows above the baseline
  int width = 0;
  int rows = 0;
  std::vector<std::uint8_t> ink;  // width * rows, 1 = inked
};

// A rule across the cell: `rows` rows from row `top` of the cell.
struct TextRule {
  int top = 0;
  int rows = 1;
};

// The mask of the line, the baseline `ascent` rows below the cell's top and
// the cell `cell_height` rows high. The cell is as wide as the advances add
// up (at most 2^30); a mask larger than 2^26 pixels loses the ink beyond
// that width, never the advance.
TextMask glyph_line_mask(const std::vector<Glyph>& glyphs, int ascent, int cell_height,
                         std::span<const TextRule> rules);
