#include "canvas/text.hpp"

#include <algorithm>
#include <limits>
#include <mutex>

#include "canvas/canvas.hpp"
#include "canvas/font_engine.hpp"
#include "canvas/text_mask.hpp"

namespace {

std::int32_t saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

std::shared_ptr<Font> selected_font(Canvas& canvas) {
  std::lock_guard<std::mutex> guard(canvas.lock);
  return canvas.font;
}

}  // namespace

void canvas_print(std::string_view text) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas || text.empty()) return;
  std::shared_ptr<Font> font = selected_font(*canvas);
  if (!font) return;
  // Glyphs are drawn into a mask first, so the raster is locked only while
  // the mask is laid onto it.
  const TextMask mask = font_render_text(*font, text);
  const int escapement = font_escapement(*font);
  {
    std::lock_guard<std::mutex> guard(canvas->lock);
    const bool opaque = canvas->background != NoColour;
    raster_draw_text(canvas->raster, mask, canvas->position.x, canvas->position.y, escapement,
                     static_cast<Colour>(canvas->foreground), opaque, static_cast<Colour>(canvas->background));
    const PointOffset moved = text_advance_offset(mask.advance, escapement);
    canvas->position.x = saturate(canvas->position.x + moved.x);
    canvas->position.y = saturate(canvas->position.y + moved.y);
  }
  canvas_refresh(*canvas);
}

void canvas_newline() {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return;
  std::lock_guard<std::mutex> guard(canvas->lock);
  canvas->position.x = 0;
  canvas->position.y =
      saturate(std::int64_t{canvas->position.y} + canvas->char_height + canvas->external_leading);
}

TextSize canvas_text_size(std::string_view text) {
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return {0, 0};
  CanvasScale scale;
  std::shared_ptr<Font> font;
  {
    std::lock_guard<std::mutex> guard(canvas->lock);
    scale = canvas->scale;
    font = canvas->font;
  }
  if (!font) return {0, 0};
  Real width = font_text_width(*font, text);
  Real height = font_metrics(*font).height;
  if (scale.is_set()) {
    width /= widen(scale.factor_x);
    height /= widen(scale.factor_y);
  }
  return {width, height};
}
