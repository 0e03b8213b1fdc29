// A graphic window on an X display: a thread of its own with its own
// display connection owns the window, shows the canvas behind it when it is
// exposed or a repaint is asked for, and hands keys, clicks and focus to the
// canvas. Closing by the window manager, like losing the connection, ends
// the thread and takes the window off the screen, but leaves the canvas
// drawing off-screen, so nothing drawn afterwards is lost.
#pragma once

#include <string>

#include "canvas/canvas.hpp"

struct X11WindowRequest {
  std::string display_name;
  std::string caption;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int style = 0;
};

struct X11Opening {
  // Unavailable: the display cannot be opened, or has no room for such a
  // window. BadSize: no canvas can have that size.
  enum class Outcome { Created, Unavailable, BadSize };
  Outcome outcome = Outcome::Unavailable;
  WindowHandle window = 0;  // when created
  std::string reason;       // when unavailable
};

// Starts the window thread and returns once the window exists (or could not
// be made; the thread then ends).
X11Opening x11_open_window(const X11WindowRequest& request);

// The X window that shows the canvas of `window`, or 0 when it has none
// (closed, off-screen). For looking at it with X tools.
unsigned long x11_window_id(WindowHandle window);
