// Helpers shared by the canvas tests: an attached off-screen canvas that is
// destroyed with the test, and ways to look at its raster.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <utility>

#include "canvas/canvas.hpp"
#include "canvas/primitives.hpp"
#include "runtime/runtime_state.hpp"

constexpr Colour White = 0xFFFFFF;
constexpr Colour Red = 0x0000FF;
constexpr Colour Green = 0x00FF00;
constexpr Colour Blue = 0xFF0000;

// An off-screen canvas attached to the calling thread (redraw mode, so no
// repaint hook runs), cleared to white.
struct AttachedCanvas {
  WindowHandle window = 0;

  explicit AttachedCanvas(int width = 64, int height = 48, bool clear_white = true) {
    window = canvas_create_offscreen(width, height);
    canvas_attach(window, 0, true);
    if (clear_white) canvas_clear(static_cast<int>(White), 0);
  }
  ~AttachedCanvas() {
    canvas_destroy_window(window);
    thread_record().current_target = 0;
  }
  AttachedCanvas(const AttachedCanvas&) = delete;
  AttachedCanvas& operator=(const AttachedCanvas&) = delete;

  // Makes this canvas the thread's target again (tests that use two).
  void attach() const { canvas_attach(window, 0, true); }
  std::shared_ptr<Canvas> record() const { return canvas_find(canvas_child(window, 0)); }
  Raster raster() const { return canvas_snapshot(window); }
  std::int32_t pixel(int x, int y) const { return canvas_pixel(window, x, y); }
  PixelPoint position() const {
    std::shared_ptr<Canvas> canvas = record();
    std::lock_guard<std::mutex> guard(canvas->lock);
    return canvas->position;
  }
};

using PixelSet = std::set<std::pair<int, int>>;

// The pixels of a raster that differ from `background`.
inline PixelSet pixels_not(const Raster& raster, Colour background) {
  PixelSet set;
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      if (raster.at(x, y) != background) set.insert({x, y});
    }
  }
  return set;
}

// The pixels of a raster that have `colour`.
inline PixelSet pixels_of(const Raster& raster, Colour colour) {
  PixelSet set;
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      if (raster.at(x, y) == colour) set.insert({x, y});
    }
  }
  return set;
}
