#include "canvas/text_mask.hpp"

#include <algorithm>
#include <cmath>

TextMask make_text_mask(int advance, int cell_height) {
  TextMask mask;
  mask.width = std::max(advance, 0);
  mask.height = std::max(cell_height, 0);
  mask.advance = mask.width;
  mask.cell_height = mask.height;
  mask.ink.assign(static_cast<std::size_t>(mask.width) * mask.height, 0);
  return mask;
}

namespace {

// Cosine and sine of the escapement; exact for multiples of 90 degrees so
// that upright and quarter-turned text lands on whole pixels.
void turn(int escapement, long double& c, long double& s) {
  const int tenths = ((escapement % 3600) + 3600) % 3600;
  switch (tenths) {
    case 0: c = 1; s = 0; return;
    case 900: c = 0; s = 1; return;
    case 1800: c = -1; s = 0; return;
    case 2700: c = 0; s = -1; return;
    default: break;
  }
  const long double radians = tenths * 3.14159265358979323846264338327950288L / 1800;
  c = std::cos(radians);
  s = std::sin(radians);
}

}  // namespace

PointOffset text_advance_offset(int advance, int escapement) {
  long double c, s;
  turn(escapement, c, s);
  // Screen y grows downwards, so counter-clockwise is up.
  return {static_cast<std::int64_t>(std::nearbyint(advance * c)),
          static_cast<std::int64_t>(std::nearbyint(-advance * s))};
}

namespace {

// Upright: mask pixel (a, b) of the cell lands on (x + a, y + b).
void draw_upright(Raster& raster, const TextMask& mask, std::int64_t x, std::int64_t y, Colour foreground,
                  bool opaque, Colour background) {
  if (opaque) {
    raster_fill_rect(raster, x, y, x + mask.advance, y + mask.cell_height, Brush{Brush::Kind::Solid, 0, background});
  }
  for (int my = 0; my < mask.height; ++my) {
    for (int mx = 0; mx < mask.width; ++mx) {
      if (mask.inked(mx, my)) raster_set_pixel(raster, x + mx - mask.cell_x, y + my - mask.cell_y, foreground);
    }
  }
}

// The raster pixels a turned mask can touch: from_x..to_x-1 by
// from_y..to_y-1, clipped to the raster.
struct PixelSpan {
  std::int64_t from_x, to_x, from_y, to_y;
};

// A point (a, b) of the cell (a along the baseline, b downwards) lies at
// (x + a c + b s, y - a s + b c) on the raster: the box around the turned
// corners of the mask, a pixel wider on every side.
PixelSpan turned_span(const Raster& raster, const TextMask& mask, std::int64_t x, std::int64_t y, long double c,
                      long double s) {
  const long double corners[4][2] = {{static_cast<long double>(-mask.cell_x), static_cast<long double>(-mask.cell_y)},
                                     {static_cast<long double>(mask.width - mask.cell_x), static_cast<long double>(-mask.cell_y)},
                                     {static_cast<long double>(-mask.cell_x), static_cast<long double>(mask.height - mask.cell_y)},
                                     {static_cast<long double>(mask.width - mask.cell_x), static_cast<long double>(mask.height - mask.cell_y)}};
  long double lo_x = 0, hi_x = 0, lo_y = 0, hi_y = 0;
  for (int i = 0; i < 4; ++i) {
    const long double px = corners[i][0] * c + corners[i][1] * s;
    const long double py = -corners[i][0] * s + corners[i][1] * c;
    lo_x = i == 0 ? px : std::min(lo_x, px);
    hi_x = i == 0 ? px : std::max(hi_x, px);
    lo_y = i == 0 ? py : std::min(lo_y, py);
    hi_y = i == 0 ? py : std::max(hi_y, py);
  }
  return {std::max<std::int64_t>(x + static_cast<std::int64_t>(std::floor(lo_x)) - 1, 0),
          std::min<std::int64_t>(x + static_cast<std::int64_t>(std::ceil(hi_x)) + 1, raster.width),
          std::max<std::int64_t>(y + static_cast<std::int64_t>(std::floor(lo_y)) - 1, 0),
          std::min<std::int64_t>(y + static_cast<std::int64_t>(std::ceil(hi_y)) + 1, raster.height)};
}

// Turned: samples the mask at the pre-image of each pixel centre.
void draw_turned(Raster& raster, const TextMask& mask, std::int64_t x, std::int64_t y, long double c, long double s,
                 Colour foreground, bool opaque, Colour background) {
  auto in_cell = [&](std::int64_t a, std::int64_t b) {
    return a >= 0 && b >= 0 && a < mask.advance && b < mask.cell_height;
  };
  auto ink_at = [&](std::int64_t a, std::int64_t b) {
    const std::int64_t mx = a + mask.cell_x, my = b + mask.cell_y;
    return mx >= 0 && my >= 0 && mx < mask.width && my < mask.height &&
           mask.inked(static_cast<int>(mx), static_cast<int>(my));
  };
  const PixelSpan span = turned_span(raster, mask, x, y, c, s);
  for (std::int64_t py = span.from_y; py < span.to_y; ++py) {
    for (std::int64_t px = span.from_x; px < span.to_x; ++px) {
      const long double dx = static_cast<long double>(px - x) + 0.5L;
      const long double dy = static_cast<long double>(py - y) + 0.5L;
      const std::int64_t a = static_cast<std::int64_t>(std::floor(dx * c - dy * s));
      const std::int64_t b = static_cast<std::int64_t>(std::floor(dx * s + dy * c));
      if (ink_at(a, b)) {
        raster.at(static_cast<int>(px), static_cast<int>(py)) = foreground;
      } else if (opaque && in_cell(a, b)) {
        raster.at(static_cast<int>(px), static_cast<int>(py)) = background;
      }
    }
  }
}

}  // namespace

void raster_draw_text(Raster& raster, const TextMask& mask, std::int64_t x, std::int64_t y, int escapement,
                      Colour foreground, bool opaque, Colour background) {
  long double c, s;
  turn(escapement, c, s);
  if (c == 1 && s == 0) {
    draw_upright(raster, mask, x, y, foreground, opaque, background);
  } else {
    draw_turned(raster, mask, x, y, c, s, foreground, opaque, background);
  }
}
