// The canvas's pixel surface and the pixel rules of its shapes: thin lines
// without their end pixel, pen dash patterns, solid and hatched brushes, and
// (rounded) rectangles inside their bounds with right and bottom excluded.
// Pure computation: no platform headers, no locking (the canvas locks).
#pragma once

#include <cstdint>
#include <vector>

// 0x00BBGGRR, red in the low byte.
using Colour = std::uint32_t;

struct Raster {
  int width = 0;
  int height = 0;
  std::vector<Colour> pixels;  // row-major, top row first

  bool contains(std::int64_t x, std::int64_t y) const {
    return x >= 0 && y >= 0 && x < width && y < height;
  }
  Colour at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  Colour& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

Raster make_raster(int width, int height, Colour colour);

// Sets the pixel when it lies on the raster; anything else is clipped away.
void raster_set_pixel(Raster& raster, std::int64_t x, std::int64_t y, Colour colour);

// Pen styles: 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot.
constexpr int PenSolid = 0;
constexpr int PenDash = 1;
constexpr int PenDot = 2;
constexpr int PenDashDot = 3;
constexpr int PenDashDotDot = 4;

// Whether a pen of `style` paints the pixel `index` steps from the start of
// its stroke. The pattern restarts with every stroke.
bool pen_paints(int style, std::uint64_t index);

// A thin line from (x0, y0) towards (x1, y1): max(|dx|, |dy|) pixels, one per
// step along the major axis, the end pixel excluded. Clipped to the raster
// without walking the invisible part, so any 32-bit end points are cheap.
void raster_line(Raster& raster, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                 Colour colour, int pen_style);

// Hatch styles in brush order: horizontal, vertical, forward diagonal (\),
// backward diagonal (/), cross, diagonal cross. The pattern repeats every 8
// pixels from the raster's origin.
constexpr int HatchHorizontal = 0;
constexpr int HatchVertical = 1;
constexpr int HatchForwardDiagonal = 2;
constexpr int HatchBackwardDiagonal = 3;
constexpr int HatchCross = 4;
constexpr int HatchDiagonalCross = 5;

struct Brush {
  enum class Kind { Hollow, Solid, Hatch };
  Kind kind = Kind::Hollow;
  int hatch = 0;  // for Kind::Hatch
  Colour colour = 0;
};

// Whether the brush paints pixel (x, y); a hatch leaves the gaps untouched.
bool brush_paints(const Brush& brush, std::int64_t x, std::int64_t y);

// Fills left..right-1 by top..bottom-1 (clipped) with the brush.
void raster_fill_rect(Raster& raster, std::int64_t left, std::int64_t top, std::int64_t right,
                      std::int64_t bottom, const Brush& brush);

// The shape of a rounded rectangle: the pixels left..right-1 by
// top..bottom-1 whose centres lie inside the rectangle with edges at left,
// right, top, bottom and corners cut by quarter ellipses of the given
// diameters (clamped to the rectangle, so a corner as large as the
// rectangle gives an ellipse). Diameters of 0 give square corners.
struct RoundRectShape {
  std::int64_t left = 0, top = 0, right = 0, bottom = 0;
  std::int64_t corner_width = 0, corner_height = 0;

  bool contains(std::int64_t x, std::int64_t y) const;
  // Inside, with a 4-neighbour outside: the one-pixel outline.
  bool on_outline(std::int64_t x, std::int64_t y) const;
};

RoundRectShape make_round_rect(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom,
                               std::int64_t corner_width, std::int64_t corner_height);

// Fills the shape with the brush, then draws its outline with the pen on top.
// The outline pattern runs clockwise from the middle of the left side.
void raster_round_rect(Raster& raster, const RoundRectShape& shape, Colour outline, int pen_style,
                       const Brush& fill);
