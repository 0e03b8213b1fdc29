#include "canvas/glyph_line.hpp"

#include <gtest/gtest.h>

// Two glyphs, the second reaching left of its pen position and below the
// cell: the mask grows to hold it, the cell stays where the advances put it,
// and the rule runs across the cell only.
TEST(GlyphLine, MaskCoversGlyphsOutsideTheCellAndRulesCrossTheCell) {
  Glyph first{3, 0, 2, 1, 1, {1}};                   // one pixel two rows above the baseline
  Glyph second{2, -1, 1, 2, 3, {1, 0, 0, 0, 0, 1}};  // 2 x 3, one row above the baseline
  const TextRule underline{3, 1};
  const TextMask mask = glyph_line_mask({first, second}, 3, 4, std::span<const TextRule>(&underline, 1));

  EXPECT_EQ(mask.advance, 5);
  EXPECT_EQ(mask.cell_height, 4);
  EXPECT_EQ(mask.cell_x, 0);
  EXPECT_EQ(mask.cell_y, 0);
  EXPECT_EQ(mask.width, 5);
  EXPECT_EQ(mask.height, 5);  // the second glyph ends a row below the cell
  EXPECT_TRUE(mask.inked(0, 1));
  EXPECT_TRUE(mask.inked(2, 2));
  EXPECT_TRUE(mask.inked(3, 4));
  for (int x = 0; x < 5; ++x) EXPECT_TRUE(mask.inked(x, 3)) << x;
  EXPECT_FALSE(mask.inked(4, 4));
  EXPECT_FALSE(mask.inked(1, 1));
}
