// Making and unmaking the X window of a graphic window on a display
// connection that belongs to the window's thread: a top-level window of a
// fixed client size with its name, class, size and decoration hints, a
// graphics context and the one image through which every paint goes.
#pragma once

#include "canvas/xlib.hpp"

#include <cstdint>
#include <string>

#include "canvas/pixel_format.hpp"

struct X11WindowOptions {
  std::string caption;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  std::uint32_t style = 0;  // the effective window style
};

struct X11Window {
  Display* display = nullptr;
  Window window = 0;
  Colormap colormap = 0;  // made for a visual that is not the screen's default
  GC gc = nullptr;
  XImage* image = nullptr;  // width x height, in `format`
  PixelFormat format;
  Atom wm_protocols = 0;
  Atom wm_delete_window = 0;
  int width = 0;
  int height = 0;
};

// Creates and maps the window on `display`; on failure frees what it made
// (not the display) and says why.
bool x11_create_window(Display* display, const X11WindowOptions& options, X11Window& made, std::string& reason);

// Frees the window's server and client resources. With the connection lost
// only the client side is freed. The display stays open.
void x11_destroy_window(X11Window& made, bool connection_alive);

// Shows `image` in the window and waits until the server has done it.
void x11_show_image(X11Window& made);
