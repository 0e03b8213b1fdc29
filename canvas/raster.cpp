#include "canvas/raster.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

Raster make_raster(int width, int height, Colour colour) {
  Raster raster;
  raster.width = std::max(width, 0);
  raster.height = std::max(height, 0);
  raster.pixels.assign(static_cast<std::size_t>(raster.width) * raster.height, colour);
  return raster;
}

void raster_set_pixel(Raster& raster, std::int64_t x, std::int64_t y, Colour colour) {
  if (raster.contains(x, y)) raster.at(static_cast<int>(x), static_cast<int>(y)) = colour;
}

namespace {

// On and off run lengths of the dash patterns of a thin pen.
struct DashPattern {
  int runs[6];
  int count;
  int period;
};

constexpr DashPattern Patterns[] = {
    {{1}, 1, 1},                         // solid
    {{18, 6}, 2, 24},                    // dash
    {{3, 3}, 2, 6},                      // dot
    {{9, 6, 3, 6}, 4, 24},               // dash-dot
    {{9, 3, 3, 3, 3, 3}, 6, 24},         // dash-dot-dot
};

}  // namespace

bool pen_paints(int style, std::uint64_t index) {
  if (style <= PenSolid || style > PenDashDotDot) return true;
  const DashPattern& pattern = Patterns[style];
  int offset = static_cast<int>(index % static_cast<std::uint64_t>(pattern.period));
  for (int run = 0; run < pattern.count; ++run) {
    if (offset < pattern.runs[run]) return run % 2 == 0;  // even runs are ink
    offset -= pattern.runs[run];
  }
  return false;
}

void raster_line(Raster& raster, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                 Colour colour, int pen_style) {
  const std::int64_t dx = std::int64_t{x1} - x0;
  const std::int64_t dy = std::int64_t{y1} - y0;
  const bool x_major = std::llabs(dx) >= std::llabs(dy);
  // Work along the major axis "a" with the minor axis "b".
  const std::int64_t a0 = x_major ? x0 : y0;
  const std::int64_t b0 = x_major ? y0 : x0;
  const std::int64_t da = x_major ? dx : dy;
  const std::int64_t db = x_major ? dy : dx;
  const std::int64_t steps = std::llabs(da);
  if (steps == 0) return;
  const std::int64_t sa = da > 0 ? 1 : -1;
  const std::int64_t sb = db >= 0 ? 1 : -1;
  const std::int64_t adb = std::llabs(db);
  const std::int64_t extent_a = x_major ? raster.width : raster.height;
  const std::int64_t extent_b = x_major ? raster.height : raster.width;

  // Steps i whose major coordinate a0 + sa*i lies on the raster.
  std::int64_t first = 0, last = steps - 1;
  if (sa > 0) {
    first = std::max(first, -a0);
    last = std::min(last, extent_a - 1 - a0);
  } else {
    first = std::max(first, a0 - (extent_a - 1));
    last = std::min(last, a0);
  }
  for (std::int64_t i = first; i <= last; ++i) {
    // Minor offset of step i: i * |db| / |da| rounded, halves away from the start.
    const __int128 numerator = static_cast<__int128>(2) * i * adb + steps;
    const std::int64_t offset = static_cast<std::int64_t>(numerator / (static_cast<__int128>(2) * steps));
    const std::int64_t b = b0 + sb * offset;
    if (b < 0 || b >= extent_b) continue;
    if (!pen_paints(pen_style, static_cast<std::uint64_t>(i))) continue;
    const std::int64_t a = a0 + sa * i;
    if (x_major) {
      raster.at(static_cast<int>(a), static_cast<int>(b)) = colour;
    } else {
      raster.at(static_cast<int>(b), static_cast<int>(a)) = colour;
    }
  }
}

bool brush_paints(const Brush& brush, std::int64_t x, std::int64_t y) {
  switch (brush.kind) {
    case Brush::Kind::Hollow: return false;
    case Brush::Kind::Solid: return true;
    case Brush::Kind::Hatch: break;
  }
  const bool horizontal = (y & 7) == 0;
  const bool vertical = (x & 7) == 0;
  const bool forward = ((x - y) & 7) == 0;
  const bool backward = ((x + y) & 7) == 7;
  switch (brush.hatch) {
    case HatchHorizontal: return horizontal;
    case HatchVertical: return vertical;
    case HatchForwardDiagonal: return forward;
    case HatchBackwardDiagonal: return backward;
    case HatchCross: return horizontal || vertical;
    case HatchDiagonalCross: return forward || backward;
    default: return true;
  }
}

void raster_fill_rect(Raster& raster, std::int64_t left, std::int64_t top, std::int64_t right,
                      std::int64_t bottom, const Brush& brush) {
  if (brush.kind == Brush::Kind::Hollow) return;
  const std::int64_t x_from = std::max<std::int64_t>(left, 0);
  const std::int64_t x_to = std::min<std::int64_t>(right, raster.width);
  const std::int64_t y_from = std::max<std::int64_t>(top, 0);
  const std::int64_t y_to = std::min<std::int64_t>(bottom, raster.height);
  for (std::int64_t y = y_from; y < y_to; ++y) {
    for (std::int64_t x = x_from; x < x_to; ++x) {
      if (brush_paints(brush, x, y)) raster.at(static_cast<int>(x), static_cast<int>(y)) = brush.colour;
    }
  }
}

RoundRectShape make_round_rect(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom,
                               std::int64_t corner_width, std::int64_t corner_height) {
  RoundRectShape shape;
  shape.left = left;
  shape.top = top;
  shape.right = right;
  shape.bottom = bottom;
  shape.corner_width = std::clamp<std::int64_t>(corner_width, 0, std::max<std::int64_t>(right - left, 0));
  shape.corner_height = std::clamp<std::int64_t>(corner_height, 0, std::max<std::int64_t>(bottom - top, 0));
  return shape;
}

bool RoundRectShape::contains(std::int64_t x, std::int64_t y) const {
  if (x < left || x >= right || y < top || y >= bottom) return false;
  const std::int64_t cw = corner_width;
  const std::int64_t ch = corner_height;
  if (cw == 0 || ch == 0) return true;
  // Pixel centre measured from the nearer vertical and horizontal edge, in
  // half pixels, so that the shape is symmetric by construction.
  const std::int64_t u = 2 * std::min(x - left, right - 1 - x) + 1;
  const std::int64_t v = 2 * std::min(y - top, bottom - 1 - y) + 1;
  if (u >= cw || v >= ch) return true;  // beside a corner, not in it
  // Corner ellipse centred (cw, ch) half pixels in, with those radii:
  // (u - cw)^2 ch^2 + (v - ch)^2 cw^2 <= cw^2 ch^2.
  if (cw < (std::int64_t{1} << 30) && ch < (std::int64_t{1} << 30)) {
    const __int128 du = u - cw, dv = v - ch, w = cw, h = ch;
    return du * du * h * h + dv * dv * w * w <= w * w * h * h;
  }
  const long double du = static_cast<long double>(u - cw) / cw;
  const long double dv = static_cast<long double>(v - ch) / ch;
  return du * du + dv * dv <= 1.0L;
}

bool RoundRectShape::on_outline(std::int64_t x, std::int64_t y) const {
  return contains(x, y) &&
         (!contains(x - 1, y) || !contains(x + 1, y) || !contains(x, y - 1) || !contains(x, y + 1));
}

void raster_round_rect(Raster& raster, const RoundRectShape& shape, Colour outline, int pen_style,
                       const Brush& fill) {
  const std::int64_t x_from = std::max<std::int64_t>(shape.left, 0);
  const std::int64_t x_to = std::min<std::int64_t>(shape.right, raster.width);
  const std::int64_t y_from = std::max<std::int64_t>(shape.top, 0);
  const std::int64_t y_to = std::min<std::int64_t>(shape.bottom, raster.height);
  if (x_from >= x_to || y_from >= y_to) return;

  if (fill.kind != Brush::Kind::Hollow) {
    for (std::int64_t y = y_from; y < y_to; ++y) {
      for (std::int64_t x = x_from; x < x_to; ++x) {
        if (shape.contains(x, y) && brush_paints(fill, x, y)) {
          raster.at(static_cast<int>(x), static_cast<int>(y)) = fill.colour;
        }
      }
    }
  }

  std::vector<std::pair<int, int>> ring;
  for (std::int64_t y = y_from; y < y_to; ++y) {
    for (std::int64_t x = x_from; x < x_to; ++x) {
      if (shape.on_outline(x, y)) ring.emplace_back(static_cast<int>(x), static_cast<int>(y));
    }
  }
  if (pen_style != PenSolid) {
    // The shape is convex, so the angle about its centre orders the outline
    // along its path; the dash pattern follows that order.
    const long double cx = (static_cast<long double>(shape.left) + shape.right) / 2;
    const long double cy = (static_cast<long double>(shape.top) + shape.bottom) / 2;
    std::vector<std::pair<long double, std::pair<int, int>>> keyed;
    keyed.reserve(ring.size());
    for (const auto& p : ring) {
      keyed.push_back({std::atan2(p.second + 0.5L - cy, p.first + 0.5L - cx), p});
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < ring.size(); ++i) ring[i] = keyed[i].second;
  }
  for (std::size_t i = 0; i < ring.size(); ++i) {
    if (pen_paints(pen_style, i)) raster.at(ring[i].first, ring[i].second) = outline;
  }
}
