// Helpers for the window tests: a private Xvfb, the X tools that look at a
// window from outside (xwininfo, xprop, xwd with xwdtopnm), a connection of
// the test's own that acts as a window manager would, and waiting for what
// the window thread does on its own time.
#pragma once

// GoogleTest before Xlib: Xlib defines None, Bool and True as macros.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "canvas/raster.hpp"
#include "canvas/xlib.hpp"

// An Xvfb of our own on a display number it picks itself.
struct XvfbServer {
  pid_t pid = -1;
  std::string display;  // ":N"

  // Empty on success, else why it failed. `screen` is WIDTHxHEIGHTxDEPTH.
  std::string start(const std::string& screen = "1280x1024x24");
  void stop();
  ~XvfbServer() { stop(); }
};

// The Xvfb shared by the window tests of this process, started on first use
// and stopped at the end; DISPLAY names it. Fails the test when it cannot
// start.
const std::string& shared_test_display();

struct ToolResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs an X tool (looked up on PATH) with the test's environment; its
// standard input comes from `input_file` (or /dev/null).
ToolResult run_tool(const std::vector<std::string>& argv, const std::string& input_file = {});

// The window's contents as xwd sees them, decoded by netpbm's xwdtopnm.
std::optional<Raster> screenshot(unsigned long xid, std::string& why);

// "Width: 850" and the like from xwininfo -id.
struct WindowGeometry {
  int x = 0, y = 0, width = 0, height = 0;
  bool viewable = false;
};
std::optional<WindowGeometry> window_geometry(unsigned long xid);

// True once `condition` holds; false when it has not within `limit` (a
// guard against hanging, not a speed requirement).
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::milliseconds(20000));

// Threads of this process.
int thread_count();

// A connection of the test's own to the display in DISPLAY.
struct TestConnection {
  Display* display = nullptr;
  TestConnection();
  ~TestConnection();
  TestConnection(const TestConnection&) = delete;
  TestConnection& operator=(const TestConnection&) = delete;

  // What a window manager sends when the user closes the window.
  void send_delete_window(unsigned long xid);
  void send_key(unsigned long xid, unsigned long keysym, unsigned int state = 0);
  void send_click(unsigned long xid, int x, int y, Time time);
  // A property as raw bytes (format 8) or longs (format 32).
  std::optional<std::string> string_property(unsigned long xid, const char* name, const char* type);
  std::optional<std::vector<long>> long_property(unsigned long xid, const char* name);
};

// Binary PPM (P6, maxval 255) as a raster of 0x00BBGGRR colours.
std::optional<Raster> parse_ppm(const std::string& ppm);

// The first pixel where two rasters differ, as text, or empty when equal.
std::string first_difference(const Raster& a, const Raster& b);

// Draws a small chart on the current canvas: white ground, a frame with
// ticks, labels in two fonts (one Greek), a dotted zero line and a curve.
void draw_test_chart(int width, int height);
