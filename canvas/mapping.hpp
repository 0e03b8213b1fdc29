// From the program's coordinates to pixels: rounding to the nearest pixel
// (halves to even), the optional world scale with reversible axes, and
// offsets from the current position. Pure computation.
#pragma once

#include <cstdint>

#include "runtime/real.hpp"

// A world scale: the coordinate shown at the left/top edge and pixels per
// world unit. Factors both 0 mean no scale (coordinates are pixels).
struct CanvasScale {
  float origin_x = 0;
  float origin_y = 0;
  float factor_x = 0;
  float factor_y = 0;
  bool x_reversed = false;
  bool y_reversed = false;

  bool is_set() const { return !(factor_x == 0 && factor_y == 0); }
};

struct PixelPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// Maps (x, y); `relative` takes them as offsets from `position`.
PixelPoint map_point(Real x, Real y, bool relative, const CanvasScale& scale, std::int32_t width,
                     std::int32_t height, PixelPoint position);

// The scale that shows (x1, y1) at the left/top and (x2, y2) at the
// right/bottom edge of a width x height surface. Equal x or equal y values
// leave `current` as it is; a scale equal to the identity is no scale.
CanvasScale make_scale(Real x1, Real y1, Real x2, Real y2, std::int32_t width, std::int32_t height,
                       const CanvasScale& current);
