#include "canvas/window_input.hpp"

#include <cstdlib>
#include <mutex>

namespace {

constexpr std::uint64_t DoubleClickMilliseconds = 500;
constexpr int DoubleClickDistance = 2;

std::shared_ptr<Canvas> canvas_of(WindowHandle window) {
  const WindowHandle child = canvas_child(window, 0);
  return canvas_find(child != 0 ? child : window);
}

template <class Change>
void change(WindowHandle window, Change&& apply) {
  if (std::shared_ptr<Canvas> canvas = canvas_of(window)) {
    std::lock_guard<std::mutex> guard(canvas->lock);
    apply(*canvas);
  }
}

}  // namespace

void canvas_record_key(WindowHandle window, std::uint16_t key) {
  change(window, [key](Canvas& canvas) { canvas.last_key = key; });
}

void canvas_record_click(WindowHandle window, int x, int y, bool double_click) {
  change(window, [=](Canvas& canvas) {
    canvas.click_state = double_click ? (canvas.click_state | ClickDouble) : ClickSingle;
    canvas.click_x = x;
    canvas.click_y = y;
  });
}

void canvas_record_focus(WindowHandle window, bool has_focus) {
  change(window, [has_focus](Canvas& canvas) {
    if (has_focus) {
      canvas.flags |= CanvasHasFocus;
    } else {
      canvas.flags &= ~CanvasHasFocus;
    }
  });
}

void canvas_record_close_request(WindowHandle window) {
  change(window, [](Canvas& canvas) { canvas.flags |= CanvasCloseRequested; });
}

std::optional<CanvasInput> canvas_input(WindowHandle window) {
  std::optional<CanvasInput> input;
  change(window, [&input](Canvas& canvas) {
    input = CanvasInput{canvas.last_key,
                        canvas.click_state,
                        canvas.click_x,
                        canvas.click_y,
                        (canvas.flags & CanvasHasFocus) != 0,
                        (canvas.flags & CanvasCloseRequested) != 0};
  });
  return input;
}

bool click_is_double(ClickTracker& tracker, std::uint64_t time, int x, int y) {
  const bool is_double = tracker.armed && time >= tracker.time && time - tracker.time <= DoubleClickMilliseconds &&
                         std::abs(x - tracker.x) <= DoubleClickDistance && std::abs(y - tracker.y) <= DoubleClickDistance;
  tracker = ClickTracker{!is_double, time, x, y};
  return is_double;
}
