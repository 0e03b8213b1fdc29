#include "canvas/window.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "canvas/x11_window.hpp"
#include "runtime/printable.hpp"

namespace {

// The reason may name DISPLAY as the environment holds it: escaped, it
// stays one line.
void report_offscreen(const std::string& reason) {
  std::fprintf(stderr, "%s: %s; the chart is drawn off-screen\n", program_invocation_short_name,
               escape_controls(reason).c_str());
  std::fflush(stderr);
}

}  // namespace

WindowHandle canvas_open_window(std::string_view caption, int x, int y, int width, int height, int style) {
  const char* display = std::getenv("DISPLAY");
  std::string reason;
  if (display == nullptr || *display == '\0') {
    reason = "no display (DISPLAY is not set)";
  } else {
    const X11Opening opening = x11_open_window({display, std::string(caption), x, y, width, height, style});
    switch (opening.outcome) {
      case X11Opening::Outcome::Created:
        // Gives the window manager a moment to show the window before the
        // first drawing.
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        return opening.window;
      case X11Opening::Outcome::BadSize:
        return 0;
      case X11Opening::Outcome::Unavailable:
        // Without a window the chart is still drawn and saved.
        reason = opening.reason;
        break;
    }
  }
  const WindowHandle window = canvas_create_offscreen(width, height);
  if (window != 0) report_offscreen(reason);
  return window;
}
