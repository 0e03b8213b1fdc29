#include "canvas/fonts.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "canvas/text.hpp"
#include "canvas_test_support.hpp"
#include "runtime/errors.hpp"

namespace {

// Slot numbers depend on what the process did before, so the numbering is
// checked in a fresh process (the death-test machinery re-runs this test
// alone); each failed check exits with its own code.
TEST(FontTable, SlotNumbersStartAtThreeAndFreedSlotsAreReused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (font_new("MS Sans Serif", 14, 1, 0, 0, 0) != 3) std::_Exit(1);
        if (font_new("symbol", 18, 1, 0, 0, 0) != 4) std::_Exit(2);
        if (font_new("MS Sans Serif", 14, 1, 0, 0, 0) != 5) std::_Exit(3);
        font_end(4);
        if (last_error() != 0) std::_Exit(4);
        if (font_new("Courier New", 10, 0, 0, 0, 0) != 4) std::_Exit(5);
        if (font_new("Courier New", 10, 0, 0, 0, 0) != 6) std::_Exit(6);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(FontTable, BuiltInSlots) {
  const std::optional<FontSlot> one = font_slot(1);
  const std::optional<FontSlot> two = font_slot(2);
  ASSERT_TRUE(one && two);
  EXPECT_STREQ(one->description.face_name, "MS Sans Serif");
  EXPECT_EQ(one->point_size, 8.0f);
  EXPECT_STREQ(two->description.face_name, "Courier New");
  EXPECT_EQ(two->point_size, 0.0f);
  EXPECT_EQ(one->description.weight, 400);
  EXPECT_EQ(two->description.char_set, 1);
  EXPECT_GE(two->reference_count, 1);
}

TEST(FontNew, DescriptionFromTheArguments) {
  const struct {
    int style;
    int weight;
    int italic, underline, strike_out;
  } cases[] = {
      {0, 400, 0, 0, 0}, {1, 700, 0, 0, 0}, {2, 400, 1, 0, 0}, {4, 400, 0, 1, 0},
      {8, 400, 0, 0, 1}, {15, 700, 1, 1, 1}, {16, 400, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const int slot = font_new("DejaVu Sans", 12, c.style, 2, 0x1234, 450);
    const std::optional<FontSlot> s = font_slot(slot);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->reference_count, 1);
    EXPECT_EQ(s->description.weight, c.weight) << c.style;
    EXPECT_EQ(s->description.italic, c.italic) << c.style;
    EXPECT_EQ(s->description.underline, c.underline) << c.style;
    EXPECT_EQ(s->description.strike_out, c.strike_out) << c.style;
    EXPECT_EQ(s->description.char_set, 1);  // the character-set argument has no effect
    EXPECT_EQ(s->description.pitch_and_family, 0x34);
    EXPECT_EQ(s->description.escapement, 450);
    EXPECT_EQ(s->description.orientation, 450);
    EXPECT_EQ(s->description.height, 0);
    font_end(slot);
  }
}

TEST(FontNew, FaceNameKeepsItsFirst31Bytes) {
  const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
  ASSERT_EQ(forty.size(), 40u);
  const int slot = font_new(forty, 10, 0, 0, 0, 0);
  const std::optional<FontSlot> s = font_slot(slot);
  ASSERT_TRUE(s);
  EXPECT_EQ(std::string(s->description.face_name), forty.substr(0, 31));
  EXPECT_EQ(s->description.face_name[31], '\0');
  font_end(slot);
}

TEST(FontNew, PointSizeZeroIsEight) {
  const int zero = font_new("DejaVu Sans", 0.0f, 0, 0, 0, 0);
  const int eight = font_new("DejaVu Sans", 8.0f, 0, 0, 0, 0);
  EXPECT_EQ(font_slot(zero)->point_size, 8.0f);
  AttachedCanvas canvas;
  canvas_set_font(zero);
  const TextSize zero_size = canvas_text_size("Height 8");
  canvas_set_font(eight);
  EXPECT_EQ(font_slot(zero)->description.height, -11);
  EXPECT_EQ(canvas_text_size("Height 8").width, zero_size.width);
  EXPECT_EQ(canvas_text_size("Height 8").height, zero_size.height);
}

TEST(CanvasSetFont, PixelHeightFromPointsHalvesToEven) {
  const struct {
    float points;
    int height;
  } cases[] = {{8, -11}, {14, -19}, {18, -24}, {9, -12}, {7.5f, -10}, {1.875f, -2}, {5.625f, -8}};
  AttachedCanvas canvas;
  for (const auto& c : cases) {
    const int slot = font_new("DejaVu Sans", c.points, 0, 0, 0, 0);
    canvas_set_font(slot);
    EXPECT_EQ(font_slot(slot)->description.height, c.height) << c.points;
    EXPECT_EQ(font_metrics(*font_slot(slot)->font).pixels_per_em, -c.height) << c.points;
  }
  canvas_set_font(1);
}

TEST(CanvasSetFont, DefaultFontOfANewCanvasIsSlotOneTruncated) {
  AttachedCanvas canvas;
  const std::optional<FontSlot> one = font_slot(1);
  ASSERT_TRUE(one && one->font);
  EXPECT_EQ(one->description.height, -10);  // 96 * 8 / 72 in integers
  std::shared_ptr<Canvas> record = canvas.record();
  EXPECT_EQ(record->font_slot, 1);
  EXPECT_EQ(record->char_height, font_metrics(*one->font).height);
  EXPECT_GT(record->char_height, 10);
  EXPECT_GT(record->average_char_width, 0);
}

TEST(CanvasSetFont, CountsFollowTheSelection) {
  AttachedCanvas canvas;
  const int a = font_new("DejaVu Sans", 10, 0, 0, 0, 0);
  const int b = font_new("DejaVu Sans", 11, 0, 0, 0, 0);
  const int one_before = font_slot(1)->reference_count;
  canvas_set_font(a);
  EXPECT_EQ(font_slot(a)->reference_count, 2);
  EXPECT_EQ(font_slot(1)->reference_count, one_before - 1);
  canvas_set_font(b);
  EXPECT_EQ(font_slot(a)->reference_count, 1);
  EXPECT_EQ(font_slot(b)->reference_count, 2);
  clear_error();
  font_end(b);  // held by the canvas
  EXPECT_EQ(last_error(), 5);
  clear_error();
  font_end(a);
  EXPECT_EQ(last_error(), 0);
  EXPECT_FALSE(font_slot(a)->font);
  font_end(a);  // already free
  EXPECT_EQ(last_error(), 5);
  clear_error();
  font_end(100000);  // no such slot
  EXPECT_EQ(last_error(), 5);
  clear_error();
}

TEST(CanvasSetFont, UnknownSlotDoesNothing) {
  AttachedCanvas canvas;
  clear_error();
  canvas_set_font(99999);
  canvas_set_font(0);
  canvas_set_font(-3);
  EXPECT_EQ(last_error(), 0);
  EXPECT_EQ(canvas.record()->font_slot, 1);
}

TEST(CanvasSetFont, SizesSetTheCanvasMetrics) {
  AttachedCanvas canvas;
  int previous_height = 0;
  for (float points : {8.0f, 14.0f, 18.0f, 36.0f}) {
    const int slot = font_new("MS Sans Serif", points, 1, 0, 0, 0);
    canvas_set_font(slot);
    std::shared_ptr<Canvas> record = canvas.record();
    const FontMetrics& m = font_metrics(*record->font);
    EXPECT_EQ(record->char_height, m.height);
    EXPECT_EQ(record->external_leading, m.external_leading);
    EXPECT_EQ(record->average_char_width, m.average_char_width);
    EXPECT_EQ(m.height, m.ascent + m.descent);
    EXPECT_GE(m.internal_leading, 0);
    EXPECT_GT(m.height, previous_height) << points;
    previous_height = m.height;
  }
}

TEST(FontOpen, UnknownFaceFallsBackToTheDefaultFace) {
  AttachedCanvas canvas;
  const int slot = font_new("No Such Face Qxzvw", 14, 0, 0, 0, 0);
  clear_error();
  canvas_set_font(slot);
  EXPECT_EQ(last_error(), 0);
  ASSERT_TRUE(font_slot(slot)->font);
  EXPECT_FALSE(font_file_name(*font_slot(slot)->font).empty());
  canvas_move_to(2, 2);
  canvas_print("Fallback");
  EXPECT_GT(pixels_of(canvas.raster(), 0x000000).size(), 20u);
}

TEST(FontOpen, AbsurdPointSizesStayUsable) {
  AttachedCanvas canvas(100, 100);
  for (float points : {1e9f, -1e9f, 0.01f, std::numeric_limits<float>::quiet_NaN()}) {
    const int slot = font_new("DejaVu Sans", points, 0, 0, 0, 0);
    canvas_set_font(slot);
    canvas_move_to(0, 0);
    canvas_print("W");
    const TextSize size = canvas_text_size("W");
    EXPECT_GE(size.width, 0) << points;
    EXPECT_LE(size.height, 1024) << points;
  }
}

}  // namespace
