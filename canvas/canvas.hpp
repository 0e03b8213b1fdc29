// The canvas record, the registry of window and canvas records, each
// thread's current drawing target, and the seam through which a window shows
// a canvas on the screen.
//
// A graphic window is two records: the window's own and its canvas (a child
// control with id 0). canvas_create_offscreen makes both, with a raster of
// the canvas's own; without a display that is the whole story. A window
// implementation (X11) creates the same pair, installs a repaint hook and
// copies the raster out with canvas_read_raster when it paints.
//
// Locking: the registry has a spin lock held only while its list is walked
// or changed. Each canvas has a mutex that guards its drawing state and
// raster; it is held only while drawing into the raster or copying it, never
// while a repaint hook runs, so the window thread can always take it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "canvas/colours.hpp"
#include "canvas/mapping.hpp"
#include "canvas/raster.hpp"

using WindowHandle = std::uintptr_t;  // 0 = none

enum class RecordKind : std::int32_t { GraphicWindow = 1, Canvas = 2 };

// Canvas flags (the axis reversals live in the scale).
constexpr std::uint32_t CanvasRedrawMode = 1;
constexpr std::uint32_t CanvasCloseRequested = 8;
constexpr std::uint32_t CanvasHasFocus = 16;

struct Font;

// Called to show the raster on the screen; returns only once it is shown.
// Runs on the drawing thread without any canvas lock held.
struct RepaintHook {
  void (*function)(void* context) = nullptr;
  void* context = nullptr;
};

struct Canvas {
  WindowHandle handle = 0;  // the canvas control; the registry key
  WindowHandle parent = 0;  // the graphic window that holds it
  std::uint32_t flags = 0;
  std::int32_t font_slot = 0;
  std::shared_ptr<Font> font;  // the selected slot's font (none if it could not be made)
  Raster raster;
  CanvasScale scale;
  std::int32_t width = 0;
  std::int32_t height = 0;
  PixelPoint position;
  std::int32_t average_char_width = 0;
  std::int32_t char_height = 0;
  std::int32_t external_leading = 0;
  std::int32_t foreground = WindowTextColour;
  std::int32_t background = ButtonFaceColour;  // or NoColour: transparent text background
  std::int32_t pen_style = 0;
  std::int32_t pen_width = 0;
  RecordKind kind = RecordKind::Canvas;
  RepaintHook repaint;
  // Input that the window hands over for graphic input operations: the last
  // key (a character code, or a scan code in the high byte for a key that
  // has no character), the click state (1 click, 2 double click) and where
  // the click was, in canvas pixels.
  std::uint16_t last_key = 0;
  std::uint32_t click_state = 0;
  std::int32_t click_x = 0;
  std::int32_t click_y = 0;
  std::mutex lock;  // guards every field above
};

// A graphic window record with its canvas of width x height pixels, filled
// with the 3-D face colour, default font selected. Returns the window's
// handle, or 0 for a size that cannot be made (each side 1..32767).
WindowHandle canvas_create_offscreen(int width, int height);

// Removes a window's records and those of its child controls (its canvas).
// Afterwards drawing on that canvas does nothing and canvas_attach raises 5.
void canvas_destroy_window(WindowHandle window);

// The child control of `window` with that control id, or 0.
WindowHandle canvas_child(WindowHandle window, int control_id);

// The canvas record with exactly this handle, or none.
std::shared_ptr<Canvas> canvas_find(WindowHandle handle);

// The calling thread's current canvas. When the target is gone (or not a
// canvas) the target becomes none and the result is empty.
std::shared_ptr<Canvas> canvas_current();

// Makes the canvas of `window` (its child with `control_id`, else the window
// itself) the calling thread's target and sets or clears redraw mode. No
// canvas there: run-time error 5, and the thread has no target.
void canvas_attach(WindowHandle window, int control_id, bool redraw);

// Shows the current canvas on the screen now, whatever the redraw mode.
void canvas_redraw();

// The repaint step after a drawing operation: runs the hook unless the
// canvas is in redraw mode.
void canvas_refresh(Canvas& canvas);

// Installs the hook of the canvas of `window` (or of that canvas itself).
void canvas_set_repaint_hook(WindowHandle window, RepaintHook hook);

// Runs `reader` on the raster of the canvas of `window` (or of that canvas
// itself) under the raster lock; keep it short. False when there is none.
bool canvas_read_raster(WindowHandle window, const std::function<void(const Raster&)>& reader);

// A copy of that raster (empty when there is none).
Raster canvas_snapshot(WindowHandle window);

// One pixel of that raster as 0x00BBGGRR, or -1 off the raster or with none.
std::int32_t canvas_pixel(WindowHandle window, int x, int y);

// Makes `font`, the font of slot `slot`, the canvas's font and takes its
// text metrics; returns the slot it replaces. Call with the canvas's lock
// held; the caller moves the canvas's hold on the slots.
std::int32_t canvas_use_font(Canvas& canvas, std::int32_t slot, const std::shared_ptr<Font>& font);
