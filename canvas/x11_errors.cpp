#include "canvas/x11_errors.hpp"

#include "canvas/xlib.hpp"

#include <mutex>

namespace {

thread_local bool window_thread = false;
thread_local std::uint64_t window_thread_errors = 0;

XErrorHandler previous_error_handler = nullptr;
XIOErrorHandler previous_io_error_handler = nullptr;

int on_error(Display* display, XErrorEvent* event) {
  if (window_thread) {
    ++window_thread_errors;
    return 0;
  }
  return previous_error_handler != nullptr ? previous_error_handler(display, event) : 0;
}

// Returning hands over to the connection's exit handler, which the window
// thread sets to record the loss instead of ending the process.
int on_io_error(Display* display) {
  if (window_thread) return 0;
  return previous_io_error_handler != nullptr ? previous_io_error_handler(display) : 0;
}

}  // namespace

void x11_install_error_handlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    XInitThreads();
    previous_error_handler = XSetErrorHandler(&on_error);
    previous_io_error_handler = XSetIOErrorHandler(&on_io_error);
  });
}

void x11_mark_window_thread() { window_thread = true; }

std::uint64_t x11_thread_errors() { return window_thread_errors; }
