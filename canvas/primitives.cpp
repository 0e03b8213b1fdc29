#include "canvas/primitives.hpp"

#include <algorithm>
#include <limits>
#include <mutex>

#include "canvas/canvas.hpp"
#include "canvas/raster.hpp"

namespace {

constexpr std::int32_t EllipseCorner = std::numeric_limits<std::int32_t>::min();

Colour mask24(std::int32_t colour) { return static_cast<Colour>(colour) & 0xFFFFFFu; }

PixelPoint map(const Canvas& canvas, Real x, Real y, int relative) {
  return map_point(x, y, relative != 0, canvas.scale, canvas.width, canvas.height, canvas.position);
}

// Brush of a fill colour (NoColour: none) and style (above 6, as unsigned: solid).
Brush make_brush(std::int32_t colour, int fill_style) {
  if (colour == NoColour) return Brush{};
  const auto style = static_cast<std::uint32_t>(fill_style);
  if (style == 0 || style > 6) return Brush{Brush::Kind::Solid, 0, mask24(colour)};
  return Brush{Brush::Kind::Hatch, static_cast<int>(style) - 1, mask24(colour)};
}

}  // namespace

void canvas_move_to(Real x, Real y, int relative) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  std::lock_guard<std::mutex> guard(canvas->lock);
  canvas->position = map(*canvas, x, y, relative);
}

void canvas_line_to(Real x, Real y, int colour, int relative) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  {
    std::lock_guard<std::mutex> guard(canvas->lock);
    const PixelPoint from = canvas->position;
    const PixelPoint to = map(*canvas, x, y, relative);
    canvas->position = to;
    const Colour pen = mask24(colour == DefaultColour ? canvas->foreground : colour);
    raster_line(canvas->raster, from.x, from.y, to.x, to.y, pen, canvas->pen_style);
  }
  canvas_refresh(*canvas);
}

void canvas_set_pixel(Real x, Real y, int colour, int relative) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  {
    std::lock_guard<std::mutex> guard(canvas->lock);
    const PixelPoint at = map(*canvas, x, y, relative);
    canvas->position = at;
    raster_set_pixel(canvas->raster, at.x, at.y, mask24(colour == DefaultColour ? canvas->foreground : colour));
  }
  canvas_refresh(*canvas);
}

void canvas_box(float x1, float y1, float x2, float y2, int corner, int outline, int fill, int fill_style) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  {
    std::lock_guard<std::mutex> guard(canvas->lock);
    const PixelPoint a = map(*canvas, widen(x1), widen(y1), 0);
    const PixelPoint b = map(*canvas, widen(x2), widen(y2), 0);
    const Colour pen = mask24(outline == DefaultColour ? canvas->foreground : outline);
    const bool ellipse = corner == EllipseCorner;
    const std::int64_t percent = ellipse ? 0 : std::min<std::uint32_t>(static_cast<std::uint32_t>(corner), 100);
    const Brush brush = make_brush(fill == DefaultColour ? static_cast<std::int32_t>(pen) : fill, fill_style);
    const std::int64_t left = std::min(a.x, b.x), right = std::max(a.x, b.x);
    const std::int64_t top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
    std::int64_t corner_width, corner_height;
    if (ellipse) {
      corner_width = right - left + 1;
      corner_height = bottom - top + 1;
    } else {
      corner_width = corner_height = percent * std::min(right - left, bottom - top) / 100;
    }
    raster_round_rect(canvas->raster, make_round_rect(left, top, right, bottom, corner_width, corner_height), pen,
                      canvas->pen_style, brush);
  }
  canvas_refresh(*canvas);
}

void canvas_clear(int colour, int fill_style) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  {
    std::lock_guard<std::mutex> guard(canvas->lock);
    const Brush brush = make_brush(colour == DefaultColour ? canvas->background : colour, fill_style);
    raster_fill_rect(canvas->raster, 0, 0, canvas->width, canvas->height, brush);
    canvas->position = PixelPoint{0, 0};
  }
  canvas_refresh(*canvas);
}

void canvas_set_style(int style) {
  if (static_cast<std::uint32_t>(style) > 4) style = 0;
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  std::lock_guard<std::mutex> guard(canvas->lock);
  canvas->pen_style = style;
}

void canvas_set_foreground(int colour) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  std::lock_guard<std::mutex> guard(canvas->lock);
  canvas->foreground = static_cast<std::int32_t>(colour == DefaultColour ? WindowTextColour : mask24(colour));
}

void canvas_set_background(int colour) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  std::lock_guard<std::mutex> guard(canvas->lock);
  if (colour == NoColour) {
    canvas->background = NoColour;
  } else {
    canvas->background = static_cast<std::int32_t>(colour == DefaultColour ? ButtonFaceColour : mask24(colour));
  }
}

void canvas_set_scale(Real x1, Real y1, Real x2, Real y2) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  std::lock_guard<std::mutex> guard(canvas->lock);
  canvas->scale = make_scale(x1, y1, x2, y2, canvas->width, canvas->height, canvas->scale);
}
