#include "canvas/fonts.hpp"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "canvas/canvas.hpp"
#include "runtime/errors.hpp"
#include "runtime/numeric.hpp"

void canvas_set_font(int number) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  const std::optional<float> points = font_slot_points(number);
  if (!points) return;

  // Height in pixels at the surface's resolution, halves to even.
  const std::int64_t pixels = to_integer(static_cast<Real>(PixelsPerInch) * widen(*points) / 72);
  const auto height = static_cast<std::int32_t>(std::min<std::int64_t>(-pixels, INT32_MAX));
  std::shared_ptr<Font> font = font_slot_font(number, height);
  if (!font) {
    raise_error(5);
    return;
  }

  std::int32_t previous;
  {
    std::lock_guard<std::mutex> guard(canvas->lock);
    previous = canvas_use_font(*canvas, number, font);
  }
  if (!font_slot_move_hold(previous, number)) raise_error(5);
}
