#include "canvas/mapping.hpp"

#include <algorithm>
#include <limits>

#include "runtime/numeric.hpp"

namespace {

// Pixel sums saturate instead of wrapping: a point far off the surface
// stays far off it.
std::int32_t saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

std::int32_t map_axis(Real value, bool relative, bool scaled, float origin, float factor, bool reversed,
                      std::int32_t size, std::int32_t position) {
  if (!scaled) {
    const std::int32_t offset = to_integer(value);
    return relative ? saturate(std::int64_t{position} + offset) : offset;
  }
  if (relative) {
    const std::int32_t offset = to_integer(value * widen(factor));
    return saturate(std::int64_t{position} + (reversed ? -std::int64_t{offset} : std::int64_t{offset}));
  }
  const std::int32_t pixel = to_integer((value - widen(origin)) * widen(factor));
  return reversed ? saturate(std::int64_t{size} - pixel) : pixel;
}

}  // namespace

PixelPoint map_point(Real x, Real y, bool relative, const CanvasScale& scale, std::int32_t width,
                     std::int32_t height, PixelPoint position) {
  const bool scaled = scale.is_set();
  return {map_axis(x, relative, scaled, scale.origin_x, scale.factor_x, scale.x_reversed, width, position.x),
          map_axis(y, relative, scaled, scale.origin_y, scale.factor_y, scale.y_reversed, height, position.y)};
}

CanvasScale make_scale(Real x1, Real y1, Real x2, Real y2, std::int32_t width, std::int32_t height,
                       const CanvasScale& current) {
  if (x1 == x2 || y1 == y2) return current;
  CanvasScale scale;
  scale.origin_x = to_single(std::min(x1, x2));
  scale.origin_y = to_single(std::min(y1, y2));
  scale.factor_x = to_single(static_cast<Real>(width) / (x1 > x2 ? x1 - x2 : x2 - x1));
  scale.factor_y = to_single(static_cast<Real>(height) / (y1 > y2 ? y1 - y2 : y2 - y1));
  scale.x_reversed = x1 > x2;
  scale.y_reversed = y1 > y2;
  if (scale.origin_x == 0 && scale.origin_y == 0 && scale.factor_x == 1 && scale.factor_y == 1 &&
      !scale.x_reversed && !scale.y_reversed) {
    return CanvasScale{};
  }
  return scale;
}
