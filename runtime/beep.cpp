#include "runtime/beep.hpp"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <unistd.h>

#include "runtime/stream_screen.hpp"

void beep() {
  // The controlling terminal, whatever standard output has been redirected to.
  int tty = open("/dev/tty", O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (tty >= 0) {
    write_all(tty, "\a");
    close(tty);
    return;
  }
  if (Display* display = XOpenDisplay(nullptr)) {
    XBell(display, 0);
    XFlush(display);
    XCloseDisplay(display);
  }
}
