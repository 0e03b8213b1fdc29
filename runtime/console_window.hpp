// The terminal's window on the X display: moving it and bringing it to the
// front. Without a display, or when the window cannot be found, these do
// nothing (output into a file or a pipe has no window either).
#pragma once

struct DesktopSize {
  int width;
  int height;
};

// Moves the window's top-left corner to (x, y) on the screen, keeping its size.
void console_move_window(int x, int y);
// Brings the window to the front (after a pause of 100 ms).
void console_to_front();
// Size of the desktop (the X screen) in pixels; 0 x 0 without a display.
DesktopSize desktop_size();

// The terminal's top-level X window: the one named by WINDOWID, else the one
// whose title is the console title with 13 spaces added for 200 ms. Kept once
// found; 0 when there is none (the search is repeated on the next call).
unsigned long console_window();
