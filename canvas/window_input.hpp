// What a graphic window hands to its canvas: keys, clicks, keyboard focus
// and the close command. The window thread calls these; graphic input
// operations read the result with canvas_input.
#pragma once

#include <cstdint>
#include <optional>

#include "canvas/canvas.hpp"

// Click state bits.
constexpr std::uint32_t ClickSingle = 1;
constexpr std::uint32_t ClickDouble = 2;

// Scan codes stand in the high byte of the last key, characters in the low.
constexpr std::uint16_t scan_code_key(std::uint8_t scan_code) {
  return static_cast<std::uint16_t>(scan_code << 8);
}

struct CanvasInput {
  std::uint16_t last_key = 0;
  std::uint32_t click_state = 0;
  std::int32_t click_x = 0;
  std::int32_t click_y = 0;
  bool has_focus = false;
  bool close_requested = false;
};

// Each acts on the canvas of `window` (or on that canvas itself) and does
// nothing when there is none.
void canvas_record_key(WindowHandle window, std::uint16_t key);
// A click sets the state to 1; a double click adds the bit 2 to it.
void canvas_record_click(WindowHandle window, int x, int y, bool double_click);
void canvas_record_focus(WindowHandle window, bool has_focus);
void canvas_record_close_request(WindowHandle window);

std::optional<CanvasInput> canvas_input(WindowHandle window);

// Whether a press of the first button at `time` (ms) and (x, y) completes a
// double click begun by the press before it: within 500 ms and within 2
// pixels in each direction. A press that completed a double click begins no
// new one.
struct ClickTracker {
  bool armed = false;  // the previous press can begin a double click
  std::uint64_t time = 0;
  int x = 0;
  int y = 0;
};
bool click_is_double(ClickTracker& tracker, std::uint64_t time, int x, int y);
