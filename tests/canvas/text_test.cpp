#include "canvas/text.hpp"

#include <gtest/gtest.h>

#include "canvas/encoding.hpp"
#include "canvas/fonts.hpp"
#include "canvas/text_mask.hpp"
#include "canvas_test_support.hpp"

namespace {

struct FontCase {
  const char* face;
  float points;
  int style;
};

const FontCase Fonts[] = {
    {"MS Sans Serif", 14, 1}, {"MS Sans Serif", 8, 0}, {"symbol", 18, 1},  {"Courier New", 10, 0},
    {"DejaVu Serif", 12, 2},  {"MS Sans Serif", 11, 4}, {"MS Sans Serif", 11, 8}, {"MS Sans Serif", 20, 3},
};

int select(const FontCase& f) {
  const int slot = font_new(f.face, f.points, f.style, 0, 0, 0);
  canvas_set_font(slot);
  return slot;
}

TEST(CanvasTextSize, EqualsTheDistanceThePositionMoves) {
  AttachedCanvas canvas(400, 60);
  for (const FontCase& f : Fonts) {
    select(f);
    for (const char* text : {"2.0", "-2.0", "1.0", "0", "bo", "l", "Wide text, with punctuation!", "\xB1\xE9"}) {
      canvas_move_to(7, 11);
      const TextSize size = canvas_text_size(text);
      canvas_print(text);
      EXPECT_EQ(canvas.position(), (PixelPoint{7 + static_cast<int>(size.width), 11})) << f.face << " " << text;
      EXPECT_EQ(size.height, canvas.record()->char_height) << f.face;
      EXPECT_GT(size.width, 0) << f.face << " " << text;
    }
  }
}

TEST(CanvasPrint, TwoPiecesLandOnOneLine) {
  for (const FontCase& f : Fonts) {
    // Transparent: an opaque cell of "cd" would cover what "b" leans into it.
    AttachedCanvas pieces(300, 60), whole(300, 60);
    pieces.attach();
    select(f);
    canvas_set_background(-2);
    canvas_move_to(5, 9);
    canvas_print("ab");
    canvas_print("cd");
    whole.attach();
    select(f);
    canvas_set_background(-2);
    canvas_move_to(5, 9);
    canvas_print("abcd");
    EXPECT_EQ(pieces.raster().pixels, whole.raster().pixels) << f.face;
    EXPECT_EQ(pieces.position(), whole.position()) << f.face;
  }
}

TEST(CanvasNewline, MovesDownByCharacterHeightPlusExternalLeading) {
  AttachedCanvas canvas(300, 200);
  for (const FontCase& f : Fonts) {
    select(f);
    canvas_move_to(40, 30);
    canvas_print("abc");
    canvas_newline();
    std::shared_ptr<Canvas> record = canvas.record();
    EXPECT_EQ(canvas.position(), (PixelPoint{0, 30 + record->char_height + record->external_leading})) << f.face;
  }
}

TEST(CanvasPrint, EmptyTextChangesNothing) {
  AttachedCanvas canvas;
  canvas_move_to(3, 4);
  const Raster before = canvas.raster();
  canvas_print("");
  EXPECT_EQ(canvas.raster().pixels, before.pixels);
  EXPECT_EQ(canvas.position(), (PixelPoint{3, 4}));
}

TEST(CanvasPrint, OpaqueBackgroundFillsTheCellTransparentLeavesIt) {
  for (bool opaque : {true, false}) {
    AttachedCanvas canvas(200, 60);
    select({"MS Sans Serif", 14, 1});
    canvas_clear(static_cast<int>(Green), 0);
    canvas_set_foreground(static_cast<int>(Red));
    canvas_set_background(opaque ? static_cast<int>(White) : -2);
    canvas_move_to(10, 12);
    const TextSize size = canvas_text_size("2.0");
    canvas_print("2.0");
    const Raster raster = canvas.raster();
    const int right = 10 + static_cast<int>(size.width), bottom = 12 + static_cast<int>(size.height);
    int ink = 0;
    for (int y = 0; y < raster.height; ++y) {
      for (int x = 0; x < raster.width; ++x) {
        const Colour c = raster.at(x, y);
        const bool in_cell = x >= 10 && x < right && y >= 12 && y < bottom;
        if (c == Red) {
          ++ink;
          EXPECT_TRUE(in_cell) << x << "," << y;  // these glyphs stay inside their cell
        } else if (in_cell) {
          EXPECT_EQ(c, opaque ? White : Green) << x << "," << y;
        } else {
          EXPECT_EQ(c, Green) << x << "," << y;
        }
      }
    }
    EXPECT_GT(ink, 30);
  }
}

TEST(CanvasPrint, SymbolFaceDrawsTheLetterLAsLambda) {
  AttachedCanvas printed(80, 60), drawn(80, 60);
  printed.attach();
  const int slot = font_new("symbol", 18, 1, 0, 0, 0);
  canvas_set_font(slot);
  canvas_set_background(static_cast<int>(White));
  canvas_move_to(10, 10);
  canvas_print("l");
  std::shared_ptr<Font> font = font_slot(slot)->font;
  ASSERT_TRUE(font);

  // The same face, asked for U+03BB directly.
  Raster lambda = drawn.raster();
  const TextMask mask = font_render_code_points(*font, U"\u03BB");
  raster_draw_text(lambda, mask, 10, 10, 0, 0x000000, true, White);
  EXPECT_EQ(printed.raster().pixels, lambda.pixels) << font_family_name(*font);
  EXPECT_GT(pixels_of(lambda, 0x000000).size(), 20u);

  // And not the Latin letter of that face.
  Raster latin = drawn.raster();
  raster_draw_text(latin, font_render_code_points(*font, U"l"), 10, 10, 0, 0x000000, true, White);
  EXPECT_NE(latin.pixels, lambda.pixels);
}

TEST(CanvasPrint, TextColourIsTheForeground) {
  AttachedCanvas canvas(100, 40);
  canvas_set_foreground(0x3377AA);
  canvas_move_to(2, 2);
  canvas_print("Text");
  EXPECT_GT(pixels_of(canvas.raster(), 0x3377AA).size(), 10u);
  EXPECT_TRUE(pixels_of(canvas.raster(), 0x000000).empty());
}

// Rows of a raster that hold a pixel of `colour` all across [x0, x1).
std::set<int> full_rows(const Raster& raster, Colour colour, int x0, int x1) {
  std::set<int> rows;
  for (int y = 0; y < raster.height; ++y) {
    bool full = true;
    for (int x = x0; x < x1 && full; ++x) full = raster.at(x, y) == colour;
    if (full) rows.insert(y);
  }
  return rows;
}

TEST(CanvasPrint, UnderlineAndStrikeOutRunAcrossTheText) {
  const struct {
    int style;
    bool below_baseline;
  } cases[] = {{4, true}, {8, false}};
  for (const auto& c : cases) {
    AttachedCanvas canvas(200, 60);
    const int slot = font_new("MS Sans Serif", 14, c.style, 0, 0, 0);
    canvas_set_font(slot);
    canvas_move_to(10, 10);
    const TextSize size = canvas_text_size("mmm");
    canvas_print("mmm");
    const std::set<int> rows = full_rows(canvas.raster(), 0x000000, 10, 10 + static_cast<int>(size.width));
    ASSERT_FALSE(rows.empty()) << c.style;
    const int ascent = font_metrics(*font_slot(slot)->font).ascent;
    for (int row : rows) {
      EXPECT_EQ(row >= 10 + ascent, c.below_baseline) << "style " << c.style << " row " << row;
    }
  }
}

TEST(CanvasPrint, BoldIsWiderThanRegular) {
  AttachedCanvas canvas;
  select({"MS Sans Serif", 14, 0});
  const Real regular = canvas_text_size("Label 2.0").width;
  select({"MS Sans Serif", 14, 1});
  EXPECT_GT(canvas_text_size("Label 2.0").width, regular);
  select({"symbol", 18, 0});
  const Real thin = canvas_text_size("lll").width;
  select({"symbol", 18, 1});
  EXPECT_GE(canvas_text_size("lll").width, thin);
}

TEST(CanvasPrint, EscapementTurnsTheTextAndItsAdvance) {
  const struct {
    int escapement;
    int dx_sign, dy_sign;
  } cases[] = {{900, 0, -1}, {1800, -1, 0}, {2700, 0, 1}, {450, 1, -1}};
  for (const auto& c : cases) {
    AttachedCanvas canvas(200, 200);
    const int slot = font_new("MS Sans Serif", 14, 0, 0, 0, c.escapement);
    canvas_set_font(slot);
    const int width = static_cast<int>(canvas_text_size("Turn").width);
    canvas_move_to(100, 100);
    canvas_print("Turn");
    const PixelPoint p = canvas.position();
    const PointOffset expected = text_advance_offset(width, c.escapement);
    EXPECT_EQ(p, (PixelPoint{100 + static_cast<int>(expected.x), 100 + static_cast<int>(expected.y)}));
    EXPECT_EQ((p.x > 100) - (p.x < 100), c.dx_sign) << c.escapement;
    EXPECT_EQ((p.y > 100) - (p.y < 100), c.dy_sign) << c.escapement;
    // The ink lies on the side the text runs to.
    for (const auto& [x, y] : pixels_of(canvas.raster(), 0x000000)) {
      if (c.escapement == 900) {
        EXPECT_LT(y, 100) << x << "," << y;
      }
      if (c.escapement == 1800) {
        EXPECT_LT(x, 101) << x << "," << y;
      }
      if (c.escapement == 2700) {
        EXPECT_GE(y, 100) << x << "," << y;
      }
    }
  }
}

TEST(CanvasTextSize, DividedByTheScaleFactors) {
  AttachedCanvas canvas(200, 100);
  const TextSize pixels = canvas_text_size("Scaled");
  canvas_set_scale(0, 0, 20, 50);  // 10 pixels per unit across, 2 down
  const TextSize world = canvas_text_size("Scaled");
  EXPECT_EQ(world.width, pixels.width / 10);
  EXPECT_EQ(world.height, pixels.height / 2);
}

TEST(Encoding, SymbolAndWindows1252) {
  EXPECT_EQ(symbol_to_unicode('l'), U'\u03BB');
  EXPECT_EQ(symbol_to_unicode('a'), U'\u03B1');
  EXPECT_EQ(symbol_to_unicode('W'), U'\u03A9');
  EXPECT_EQ(symbol_to_unicode('0'), U'0');
  EXPECT_EQ(symbol_to_unicode(0xB1), U'\u00B1');
  EXPECT_EQ(symbol_to_unicode(0xA5), U'\u221E');
  EXPECT_EQ(symbol_to_unicode(0x05), U'\0');
  EXPECT_EQ(windows_1252_to_unicode(0x80), U'\u20AC');
  EXPECT_EQ(windows_1252_to_unicode(0xB1), U'\u00B1');
  EXPECT_EQ(windows_1252_to_unicode('l'), U'l');
  EXPECT_TRUE(is_symbol_face("Symbol"));
  EXPECT_TRUE(is_symbol_face("SYMBOL"));
  EXPECT_FALSE(is_symbol_face("Symbols"));
  EXPECT_FALSE(is_symbol_face("Standard Symbols PS"));
}

}  // namespace
