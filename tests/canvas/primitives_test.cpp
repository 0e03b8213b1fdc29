#include "canvas/primitives.hpp"

#include <gtest/gtest.h>

#include <climits>

#include "canvas/canvas.hpp"
#include "canvas/text.hpp"
#include "canvas_test_support.hpp"

namespace {

TEST(Canvas, NewCanvasIsFaceColouredWithDefaults) {
  AttachedCanvas canvas(20, 10, false);
  const Raster raster = canvas.raster();
  ASSERT_EQ(raster.width, 20);
  ASSERT_EQ(raster.height, 10);
  EXPECT_EQ(pixels_not(raster, ButtonFaceColour).size(), 0u);
  std::shared_ptr<Canvas> record = canvas.record();
  EXPECT_EQ(record->foreground, static_cast<std::int32_t>(WindowTextColour));
  EXPECT_EQ(record->background, static_cast<std::int32_t>(ButtonFaceColour));
  EXPECT_EQ(record->pen_style, 0);
  EXPECT_EQ(record->pen_width, 0);
  EXPECT_EQ(record->font_slot, 1);
  EXPECT_FALSE(record->scale.is_set());
  EXPECT_EQ(record->parent, canvas.window);
}

TEST(CanvasLine, ZeroFiveToThreeFiveColoursThreePixels) {
  AttachedCanvas canvas;
  canvas_move_to(0, 5);
  canvas_line_to(3, 5, static_cast<int>(Red));
  EXPECT_EQ(pixels_not(canvas.raster(), White), (PixelSet{{0, 5}, {1, 5}, {2, 5}}));
  EXPECT_EQ(pixels_of(canvas.raster(), Red).size(), 3u);
  EXPECT_EQ(canvas.position(), (PixelPoint{3, 5}));
}

TEST(CanvasLine, ToTheSamePointDrawsNothing) {
  AttachedCanvas canvas;
  canvas_move_to(10, 10);
  canvas_line_to(10, 10, static_cast<int>(Red));
  EXPECT_TRUE(pixels_not(canvas.raster(), White).empty());
  canvas_set_pixel(10, 10, static_cast<int>(Red));
  EXPECT_EQ(pixels_not(canvas.raster(), White), (PixelSet{{10, 10}}));
}

TEST(CanvasLine, ColourMinusOneIsTheForegroundMaskedTo24Bits) {
  AttachedCanvas canvas;
  canvas_set_foreground(0x7F123456);
  canvas_move_to(0, 0);
  canvas_line_to(2, 0, -1);
  EXPECT_EQ(canvas.pixel(0, 0), 0x123456);
  canvas_line_to(4, 0, 0x01ABCDEF);
  EXPECT_EQ(canvas.pixel(3, 0), 0xABCDEF);
  canvas_set_foreground(-1);
  canvas_line_to(6, 0, -1);
  EXPECT_EQ(canvas.pixel(5, 0), static_cast<std::int32_t>(WindowTextColour));
}

TEST(CanvasLine, RelativeCoordinatesStartAtThePosition) {
  AttachedCanvas canvas;
  canvas_move_to(4, 4);
  canvas_line_to(3, 0, static_cast<int>(Red), 1);
  canvas_set_pixel(0.5L, 2.5L, static_cast<int>(Blue), 1);
  EXPECT_EQ(pixels_of(canvas.raster(), Red), (PixelSet{{4, 4}, {5, 4}, {6, 4}}));
  EXPECT_EQ(pixels_of(canvas.raster(), Blue), (PixelSet{{7, 6}}));
  EXPECT_EQ(canvas.position(), (PixelPoint{7, 6}));
}

TEST(CanvasCoordinates, HalvesRoundToEven) {
  AttachedCanvas canvas;
  const struct {
    Real x, y;
    int px, py;
  } cases[] = {{2.5L, 3.5L, 2, 4}, {3.5L, 2.5L, 4, 2}, {0.5L, 1.5L, 0, 2}, {5.4999L, 5.5001L, 5, 6}};
  for (const auto& c : cases) {
    canvas_clear(static_cast<int>(White), 0);
    canvas_set_pixel(c.x, c.y, static_cast<int>(Red));
    EXPECT_EQ(pixels_not(canvas.raster(), White), (PixelSet{{c.px, c.py}}))
        << static_cast<double>(c.x) << "," << static_cast<double>(c.y);
  }
}

TEST(CanvasStyle, OutOfRangeStylesAreSolid) {
  for (int style : {7, 5, -1, INT_MIN}) {
    AttachedCanvas canvas;
    canvas_set_style(2);
    canvas_set_style(style);
    canvas_move_to(0, 1);
    canvas_line_to(40, 1, static_cast<int>(Red));
    EXPECT_EQ(pixels_of(canvas.raster(), Red).size(), 40u) << "style " << style;
  }
}

TEST(CanvasStyle, DotsAreThreeOnThreeOff) {
  AttachedCanvas canvas;
  canvas_set_style(2);
  canvas_move_to(50, 3);
  canvas_line_to(62, 3, 0x808080);
  EXPECT_EQ(pixels_of(canvas.raster(), 0x808080), (PixelSet{{50, 3}, {51, 3}, {52, 3}, {56, 3}, {57, 3}, {58, 3}}));
}

// Pixels a box call paints on a white canvas.
Raster box_raster(float x1, float y1, float x2, float y2, int corner, int outline, int fill, int style) {
  AttachedCanvas canvas(60, 50);
  canvas_box(x1, y1, x2, y2, corner, outline, fill, style);
  return canvas.raster();
}

TEST(CanvasBox, CornersInEitherOrderDrawTheSameShape) {
  for (int corner : {0, 30, 100, INT_MIN}) {
    for (int fill_style : {0, 3, 6}) {
      const Raster reference = box_raster(10, 8, 50, 40, corner, static_cast<int>(Red), static_cast<int>(Blue), fill_style);
      EXPECT_EQ(box_raster(50, 40, 10, 8, corner, static_cast<int>(Red), static_cast<int>(Blue), fill_style).pixels,
                reference.pixels)
          << corner;
      EXPECT_EQ(box_raster(10, 40, 50, 8, corner, static_cast<int>(Red), static_cast<int>(Blue), fill_style).pixels,
                reference.pixels)
          << corner;
      EXPECT_EQ(box_raster(50, 8, 10, 40, corner, static_cast<int>(Red), static_cast<int>(Blue), fill_style).pixels,
                reference.pixels)
          << corner;
    }
  }
}

TEST(CanvasBox, CornerAbove100IsDrawnAs100) {
  const Raster hundred = box_raster(5, 5, 45, 35, 100, static_cast<int>(Red), -2, 0);
  EXPECT_EQ(box_raster(5, 5, 45, 35, 150, static_cast<int>(Red), -2, 0).pixels, hundred.pixels);
  EXPECT_EQ(box_raster(5, 5, 45, 35, -7, static_cast<int>(Red), -2, 0).pixels, hundred.pixels);
  EXPECT_NE(box_raster(5, 5, 45, 35, 50, static_cast<int>(Red), -2, 0).pixels, hundred.pixels);
  EXPECT_NE(box_raster(5, 5, 45, 35, 0, static_cast<int>(Red), -2, 0).pixels, hundred.pixels);
}

TEST(CanvasBox, FillMinusTwoLeavesTheInside) {
  AttachedCanvas canvas(60, 50);
  canvas_clear(static_cast<int>(Green), 0);
  canvas_box(10, 10, 30, 20, 0, static_cast<int>(Red), -2, 0);
  const Raster raster = canvas.raster();
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 60; ++x) {
      const bool border = (x == 10 || x == 29) ? (y >= 10 && y <= 19) : (y == 10 || y == 19) && x >= 10 && x <= 29;
      EXPECT_EQ(raster.at(x, y), border ? Red : Green) << x << "," << y;
    }
  }
}

TEST(CanvasBox, FillMinusOneIsTheOutlineColour) {
  AttachedCanvas canvas(60, 50);
  canvas_box(10, 10, 30, 20, 0, static_cast<int>(Red), -1, 0);
  EXPECT_EQ(pixels_of(canvas.raster(), Red).size(), 20u * 10u);
}

TEST(CanvasBox, ChartBorderRunsAlongBothEdgesWithRightAndBottomExcluded) {
  AttachedCanvas canvas(850, 624);
  canvas_box(50, 0, 850, 601, 0, -1, -2, 0);
  const Raster raster = canvas.raster();
  const PixelSet black = pixels_of(raster, 0x000000);
  EXPECT_EQ(black.size(), 2u * 800 + 2u * 599);
  for (int x = 50; x < 850; ++x) {
    EXPECT_TRUE(black.count({x, 0}) && black.count({x, 600})) << x;
  }
  for (int y = 0; y <= 600; ++y) EXPECT_TRUE(black.count({50, y}) && black.count({849, y})) << y;
  EXPECT_FALSE(black.count({50, 601}));
}

TEST(CanvasBox, EllipseStaysInsideItsRectangleAndLeavesThePosition) {
  AttachedCanvas canvas(60, 50);
  canvas_move_to(3, 4);
  canvas_box(10, 10, 31, 21, INT_MIN, static_cast<int>(Red), static_cast<int>(Blue), 0);
  const PixelSet drawn = pixels_not(canvas.raster(), White);
  for (const auto& [x, y] : drawn) {
    EXPECT_TRUE(x >= 10 && x <= 30 && y >= 10 && y <= 20) << x << "," << y;
  }
  EXPECT_TRUE(drawn.count({20, 10}) && drawn.count({20, 20}) && drawn.count({10, 15}) && drawn.count({30, 15}));
  EXPECT_FALSE(drawn.count({10, 10}));
  EXPECT_EQ(canvas.position(), (PixelPoint{3, 4}));
}

TEST(CanvasBox, HatchedFillLeavesTheGaps) {
  AttachedCanvas canvas(60, 50);
  canvas_box(0, 0, 40, 40, 0, static_cast<int>(Red), static_cast<int>(Blue), 1);  // horizontal hatch
  const Raster raster = canvas.raster();
  for (int y = 1; y < 39; ++y) {
    for (int x = 1; x < 39; ++x) EXPECT_EQ(raster.at(x, y), y % 8 == 0 ? Blue : White) << x << "," << y;
  }
}

TEST(CanvasBox, FarOffCoordinatesAreClipped) {
  AttachedCanvas canvas(60, 50);
  canvas_box(-1e9f, -1e9f, 1e9f, 1e9f, 20, static_cast<int>(Red), static_cast<int>(Blue), 0);
  EXPECT_EQ(pixels_of(canvas.raster(), Blue).size(), 60u * 50u);
  canvas_move_to(-3e9L, 10);
  canvas_line_to(3e9L, 10, static_cast<int>(Red));
  EXPECT_EQ(pixels_of(canvas.raster(), Red).size(), 0u);  // -3e9 is out of range: -2147483648 both ends
}

TEST(CanvasClear, TransparentBackgroundPaintsNothingButHomesThePosition) {
  AttachedCanvas canvas;
  canvas_set_pixel(5, 5, static_cast<int>(Red));
  canvas_set_background(-2);
  canvas_move_to(20, 30);
  const Raster before = canvas.raster();
  canvas_clear(-1, 0);
  EXPECT_EQ(canvas.raster().pixels, before.pixels);
  EXPECT_EQ(canvas.position(), (PixelPoint{0, 0}));
}

TEST(CanvasClear, ColourMinusOneIsTheBackground) {
  AttachedCanvas canvas;
  canvas_set_background(0x00C0FFEE);
  canvas_clear(-1, 0);
  EXPECT_EQ(pixels_not(canvas.raster(), 0xC0FFEE).size(), 0u);
  canvas_set_background(-1);
  canvas_clear(-1, 0);
  EXPECT_EQ(pixels_not(canvas.raster(), ButtonFaceColour).size(), 0u);
  canvas_clear(static_cast<int>(Red), 9);  // fill style above 6 is solid
  EXPECT_EQ(pixels_not(canvas.raster(), Red).size(), 0u);
}

TEST(CanvasScale, WorldCoordinatesMapToPixels) {
  AttachedCanvas canvas(100, 100);
  canvas_set_scale(0, 10, 10, 0);  // y up
  canvas_set_pixel(1, 9, static_cast<int>(Red));
  EXPECT_EQ(pixels_of(canvas.raster(), Red), (PixelSet{{10, 10}}));
  canvas_move_to(0, 5);
  canvas_line_to(3, 5, static_cast<int>(Blue));
  EXPECT_EQ(pixels_of(canvas.raster(), Blue).size(), 30u);
  EXPECT_EQ(canvas.position(), (PixelPoint{30, 50}));
  canvas_set_scale(0, 0, 100, 100);  // the identity: no scale
  EXPECT_FALSE(canvas.record()->scale.is_set());
}

TEST(NoCanvas, OperationsDoNothing) {
  AttachedCanvas bystander;
  const Raster before = bystander.raster();
  thread_record().current_target = 0;
  canvas_move_to(1, 1);
  canvas_line_to(20, 20, static_cast<int>(Red));
  canvas_set_pixel(3, 3, static_cast<int>(Red));
  canvas_box(0, 0, 30, 30, 0, static_cast<int>(Red), static_cast<int>(Red), 0);
  canvas_clear(static_cast<int>(Red), 0);
  canvas_set_style(1);
  canvas_set_foreground(static_cast<int>(Red));
  canvas_set_background(static_cast<int>(Red));
  canvas_set_scale(0, 0, 1, 1);
  canvas_print("text");
  canvas_newline();
  canvas_redraw();
  const TextSize size = canvas_text_size("text");
  EXPECT_EQ(size.width, 0);
  EXPECT_EQ(size.height, 0);
  EXPECT_EQ(bystander.raster().pixels, before.pixels);
  std::shared_ptr<Canvas> record = bystander.record();
  EXPECT_EQ(record->pen_style, 0);
  EXPECT_EQ(record->foreground, 0);
  EXPECT_EQ(record->position, (PixelPoint{0, 0}));
}

}  // namespace
