// Opening a graphic window: a window of its own thread on the X display,
// whose client area is the canvas, or without a display an off-screen canvas
// of the same size that draws, redraws and saves the same.
#pragma once

#include <string_view>

#include "canvas/canvas.hpp"

// Opens a top-level window whose client area is width x height at (x, y)
// (the frame's outer corner), titled `caption`, of class "CORVANTILEGRAPH",
// not resizable; style 0 is a bordered window with a title bar only when the
// caption is not empty. Returns once the window exists: the handle to pass
// to canvas_attach (control id 0), or 0 for a size no canvas can have (each
// side 1 to 32767). Without a display, or when it cannot hold the window, one
// line on standard error says the chart is drawn off-screen and the handle is
// that of an off-screen canvas.
WindowHandle canvas_open_window(std::string_view caption, int x, int y, int width, int height, int style);
