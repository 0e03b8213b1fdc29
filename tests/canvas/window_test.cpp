// The graphic window against a real X server (a private Xvfb): its size,
// class and hints as X tools see them, the screen matching the surface, the
// close command of a window manager, two windows at once, input, a lost
// display, and the off-screen canvas when there is no display.
#include "canvas/window.hpp"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "canvas/bitmap.hpp"
#include "canvas/primitives.hpp"
#include "canvas/window_input.hpp"
#include "canvas/window_style.hpp"
#include "canvas/x11_window.hpp"
#include "runtime/errors.hpp"
#include "runtime/runtime_state.hpp"
#include "x11_test_support.hpp"

namespace {

constexpr int ChartWidth = 850;
constexpr int ChartHeight = 624;

bool all_of_colour(const Raster& raster, Colour colour) {
  for (Colour pixel : raster.pixels) {
    if (pixel != colour) return false;
  }
  return !raster.pixels.empty();
}

std::vector<std::uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class WindowX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(shared_test_display(), "");
    // ThreadSanitizer starts a helper thread with the process's first other
    // thread; have it running before counting.
    static const bool warmed_up = [] {
      std::thread([] {}).join();
      return true;
    }();
    EXPECT_TRUE(warmed_up);
    threads_at_start_ = thread_count();
  }

  void TearDown() override {
    for (WindowHandle window : opened_) {
      if (x11_window_id(window) != 0) send_delete_window(window);
      canvas_destroy_window(window);  // a closed window leaves its canvas
    }
    // No window thread outlives its test.
    EXPECT_TRUE(eventually([&] { return thread_count() == threads_at_start_; }));
    thread_record().current_target = 0;
    clear_error();
  }

  WindowHandle open(std::string_view caption, int width = ChartWidth, int height = ChartHeight, int style = 0,
                    int x = 0, int y = 0) {
    const WindowHandle window = canvas_open_window(caption, x, y, width, height, style);
    if (window != 0) opened_.push_back(window);
    return window;
  }

  // What a window manager does when the user closes the window; returns
  // once the window is off the screen and its thread has ended.
  void close_by_window_manager(WindowHandle window) {
    const int threads = thread_count();
    send_delete_window(window);
    ASSERT_TRUE(eventually([&] { return thread_count() == threads - 1; }));
  }

  // Returns once the window is off the screen.
  void send_delete_window(WindowHandle window) {
    const unsigned long xid = x11_window_id(window);
    ASSERT_NE(xid, 0u);
    TestConnection wm;
    ASSERT_NE(wm.display, nullptr);
    wm.send_delete_window(xid);
    ASSERT_TRUE(eventually([&] { return x11_window_id(window) == 0; }));
  }

  Raster shot(WindowHandle window) {
    std::string why;
    std::optional<Raster> raster = screenshot(x11_window_id(window), why);
    EXPECT_TRUE(raster.has_value()) << why;
    return raster.value_or(Raster{});
  }

  int threads_at_start_ = 0;
  std::vector<WindowHandle> opened_;
};

TEST_F(WindowX11, ClientAreaIsExactlyTheRequestedSizeWithTheWindowClass) {
  const WindowHandle window = open("flockchase", ChartWidth, ChartHeight, 0, 30, 40);
  ASSERT_NE(window, 0u);
  const unsigned long xid = x11_window_id(window);
  ASSERT_NE(xid, 0u);

  const std::optional<WindowGeometry> geometry = window_geometry(xid);
  ASSERT_TRUE(geometry.has_value());
  EXPECT_EQ(geometry->width, 850);
  EXPECT_EQ(geometry->height, 624);
  EXPECT_EQ(geometry->x, 30);
  EXPECT_EQ(geometry->y, 40);
  EXPECT_TRUE(geometry->viewable);

  const ToolResult wm_class = run_tool({"xprop", "-id", std::to_string(xid), "WM_CLASS"});
  ASSERT_EQ(wm_class.exit_code, 0) << wm_class.err;
  EXPECT_NE(wm_class.out.find("\"CORVANTILEGRAPH\""), std::string::npos) << wm_class.out;

  // The canvas behind it has the same size, and the window cannot be resized.
  const Raster surface = canvas_snapshot(window);
  EXPECT_EQ(surface.width, 850);
  EXPECT_EQ(surface.height, 624);
  TestConnection connection;
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_NE(XGetWMNormalHints(connection.display, xid, &hints, &supplied), 0);
  EXPECT_EQ(hints.flags & (PMinSize | PMaxSize | USPosition), PMinSize | PMaxSize | USPosition);
  EXPECT_EQ(hints.min_width, 850);
  EXPECT_EQ(hints.max_width, 850);
  EXPECT_EQ(hints.min_height, 624);
  EXPECT_EQ(hints.max_height, 624);
  EXPECT_EQ(hints.win_gravity, NorthWestGravity);
}

TEST_F(WindowX11, TitleAndDecorationsFollowTheCaptionAndStyle) {
  struct Case {
    const char* caption;
    int style;
    const char* latin1_name;
    const char* utf8_name;
    long decorations;
  };
  const Case cases[] = {
      {"flockchase", 0, "flockchase", "flockchase",
       MotifDecorBorder | MotifDecorTitle | MotifDecorMenu | MotifDecorMinimize},
      {"", 0, "", "", MotifDecorBorder},  // no title bar
      {"Caf\xE9", 0, "Caf\xE9", "Caf\xC3\xA9", MotifDecorBorder | MotifDecorTitle | MotifDecorMenu | MotifDecorMinimize},
      {"plain", static_cast<int>(StyleCaption | StyleSystemMenu), "plain", "plain",
       MotifDecorBorder | MotifDecorTitle | MotifDecorMenu},
  };
  TestConnection connection;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    const WindowHandle window = open(c.caption, 120, 80, c.style);
    ASSERT_NE(window, 0u);
    const unsigned long xid = x11_window_id(window);
    EXPECT_EQ(connection.string_property(xid, "WM_NAME", "STRING"), std::string(c.latin1_name));
    EXPECT_EQ(connection.string_property(xid, "_NET_WM_NAME", "UTF8_STRING"), std::string(c.utf8_name));
    const auto motif = connection.long_property(xid, "_MOTIF_WM_HINTS");
    ASSERT_TRUE(motif.has_value());
    ASSERT_EQ(motif->size(), 5u);
    EXPECT_EQ((*motif)[2], c.decorations);
    EXPECT_EQ((*motif)[1] & MotifFunctionClose, MotifFunctionClose);
    const auto window_geometry_now = window_geometry(xid);
    ASSERT_TRUE(window_geometry_now.has_value());
    EXPECT_EQ(window_geometry_now->width, 120);
    close_by_window_manager(window);
  }
}

TEST_F(WindowX11, StartsFilledWithTheFaceColourOnCanvasAndScreen) {
  const WindowHandle window = open("face");
  ASSERT_NE(window, 0u);
  EXPECT_TRUE(all_of_colour(canvas_snapshot(window), ButtonFaceColour));
  canvas_attach(window, 0, true);
  canvas_redraw();
  EXPECT_TRUE(all_of_colour(shot(window), ButtonFaceColour));
}

TEST_F(WindowX11, ScreenEqualsTheSurfaceAfterRedrawAndNotBeforeInRedrawMode) {
  const WindowHandle window = open("chart");
  ASSERT_NE(window, 0u);
  canvas_attach(window, 0, true);
  canvas_redraw();
  draw_test_chart(ChartWidth, ChartHeight);
  const Raster surface = canvas_snapshot(window);
  EXPECT_GT(std::count(surface.pixels.begin(), surface.pixels.end(), Colour{0}), 1000);

  EXPECT_TRUE(all_of_colour(shot(window), ButtonFaceColour)) << "drawing reached the screen before the redraw";
  canvas_redraw();
  EXPECT_EQ(first_difference(shot(window), surface), "");
}

TEST_F(WindowX11, OutsideRedrawModeEveryOperationReachesTheScreenAtOnce) {
  const WindowHandle window = open("direct", 200, 150);
  ASSERT_NE(window, 0u);
  canvas_attach(window, 0, false);
  canvas_clear(0xFFFFFF, 0);
  EXPECT_EQ(first_difference(shot(window), canvas_snapshot(window)), "");
  canvas_move_to(10, 10);
  canvas_line_to(150, 100, 0x0000FF);
  EXPECT_EQ(first_difference(shot(window), canvas_snapshot(window)), "");
  canvas_box(20, 30, 80, 90, 0, 0, 0x00FF00, 4);
  EXPECT_EQ(first_difference(shot(window), canvas_snapshot(window)), "");
}

TEST_F(WindowX11, UncoveringShowsTheCurrentSurfaceEvenInRedrawMode) {
  const WindowHandle window = open("expose", 300, 200, 0, 0, 0);
  ASSERT_NE(window, 0u);
  canvas_attach(window, 0, true);
  canvas_clear(0xFFFFFF, 0);
  canvas_redraw();
  canvas_box(10, 10, 200, 150, 0, 0, 0x0000FF, 0);  // not shown yet
  const Raster surface = canvas_snapshot(window);
  ASSERT_NE(first_difference(shot(window), surface), "");

  // Another client's window over ours, then gone again.
  TestConnection other;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = 0;
  const Window cover = XCreateWindow(other.display, DefaultRootWindow(other.display), 0, 0, 400, 300, 0,
                                     CopyFromParent, InputOutput, CopyFromParent,
                                     CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(other.display, cover);
  XSync(other.display, False);
  XDestroyWindow(other.display, cover);
  XSync(other.display, False);

  EXPECT_TRUE(eventually([&] { return first_difference(shot(window), surface).empty(); }));
}

TEST_F(WindowX11, ClosingByTheWindowManagerEndsTheThreadButDrawingGoesOnOffScreen) {
  const WindowHandle window = open("close");
  ASSERT_NE(window, 0u);
  const unsigned long xid = x11_window_id(window);
  EXPECT_EQ(thread_count(), threads_at_start_ + 1);

  // A drawing thread that keeps drawing and redrawing across the close; the
  // close must release it even while it waits for a paint.
  std::atomic<bool> attached{false}, stop{false};
  std::atomic<long> rounds{0};
  std::thread drawer([&] {
    canvas_attach(window, 0, false);
    attached = true;
    for (int i = 0; !stop; ++i) {
      canvas_set_pixel(i % ChartWidth, (i / ChartWidth) % ChartHeight, 0x0000FF);
      canvas_redraw();
      ++rounds;
    }
  });
  ASSERT_TRUE(eventually([&] { return attached && rounds > 5; }));
  testing::internal::CaptureStderr();
  send_delete_window(window);
  EXPECT_TRUE(eventually([&] { return thread_count() == threads_at_start_ + 1; }));  // the drawer only
  const long at_close = rounds;
  EXPECT_TRUE(eventually([&] { return rounds > at_close + 100; })) << "drawing stalled after the close";
  stop = true;
  drawer.join();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find("drawn off-screen"), std::string::npos) << said;

  EXPECT_TRUE(eventually([&] { return thread_count() == threads_at_start_; }));
  EXPECT_FALSE(window_geometry(xid).has_value()) << "the X window is still there";
  const std::optional<CanvasInput> input = canvas_input(window);
  ASSERT_TRUE(input.has_value());
  EXPECT_TRUE(input->close_requested);

  // The canvas is still there and takes everything drawn, redraw returns.
  clear_error();
  canvas_attach(window, 0, true);
  EXPECT_EQ(last_error(), 0);
  canvas_clear(0x00FF00, 0);
  canvas_set_pixel(5, 5, 0);
  canvas_redraw();
  const Raster after = canvas_snapshot(window);
  ASSERT_EQ(after.width, ChartWidth);
  EXPECT_EQ(canvas_pixel(window, 5, 5), 0x000000);
  EXPECT_EQ(canvas_pixel(window, 100, 100), 0x00FF00);
}

TEST_F(WindowX11, TwoWindowsHaveTheirOwnThreadsAndCanvases) {
  const WindowHandle first = open("first", 320, 240, 0, 0, 0);
  const WindowHandle second = open("second", 200, 100, 0, 400, 300);
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  EXPECT_NE(first, second);
  EXPECT_NE(x11_window_id(first), x11_window_id(second));
  EXPECT_EQ(thread_count(), threads_at_start_ + 2);

  canvas_attach(first, 0, true);
  canvas_clear(0x0000FF, 0);
  canvas_redraw();
  canvas_attach(second, 0, true);
  canvas_clear(0xFF0000, 0);
  canvas_redraw();
  EXPECT_TRUE(all_of_colour(shot(first), 0x0000FF));
  EXPECT_TRUE(all_of_colour(shot(second), 0xFF0000));
  EXPECT_EQ(canvas_snapshot(second).width, 200);

  // The second goes on working when the first is closed.
  close_by_window_manager(first);
  EXPECT_EQ(thread_count(), threads_at_start_ + 1);
  canvas_attach(second, 0, true);
  canvas_clear(0x00FF00, 0);
  canvas_redraw();
  EXPECT_TRUE(all_of_colour(shot(second), 0x00FF00));
}

TEST_F(WindowX11, KeysClicksAndFocusReachTheCanvas) {
  const WindowHandle window = open("input", 200, 150);
  ASSERT_NE(window, 0u);
  const unsigned long xid = x11_window_id(window);
  // Shown windows take the keyboard focus.
  EXPECT_TRUE(eventually([&] { return canvas_input(window)->has_focus; }));

  TestConnection user;
  struct KeyCase {
    unsigned long keysym;
    unsigned int state;
    std::uint16_t expected;
  };
  const KeyCase keys[] = {
      {XK_F1, 0, 0x3B00}, {XK_a, 0, 'a'}, {XK_a, ShiftMask, 'A'}, {XK_Escape, 0, 27},
      {XK_Up, 0, 0x4800}, {XK_F12, 0, 0x5800}, {XK_Return, 0, 13},
  };
  for (const KeyCase& key : keys) {
    user.send_key(xid, key.keysym, key.state);
    EXPECT_TRUE(eventually([&] { return canvas_input(window)->last_key == key.expected; }))
        << std::hex << key.keysym << " gave " << canvas_input(window)->last_key;
  }
  // Tab leaves the last key alone.
  user.send_key(xid, XK_Tab);
  user.send_key(xid, XK_b);
  EXPECT_TRUE(eventually([&] { return canvas_input(window)->last_key == 'b'; }));

  user.send_click(xid, 40, 50, 1000);
  EXPECT_TRUE(eventually([&] {
    const CanvasInput input = *canvas_input(window);
    return input.click_state == ClickSingle && input.click_x == 40 && input.click_y == 50;
  }));
  user.send_click(xid, 41, 50, 1200);
  EXPECT_TRUE(eventually([&] { return canvas_input(window)->click_state == (ClickSingle | ClickDouble); }));
  user.send_click(xid, 41, 50, 5000);
  EXPECT_TRUE(eventually([&] { return canvas_input(window)->click_state == ClickSingle; }));

  XSetInputFocus(user.display, PointerRoot, RevertToPointerRoot, CurrentTime);
  XSync(user.display, False);
  EXPECT_TRUE(eventually([&] { return !canvas_input(window)->has_focus; }));
}

TEST_F(WindowX11, WithoutDisplayTheCanvasIsOffScreenAndSavesTheSameBitmap) {
  char folder_template[] = "/tmp/window-bitmaps-XXXXXX";
  const std::string folder = mkdtemp(folder_template);
  const std::string with_window = folder + "/window.bmp";
  const std::string without = folder + "/offscreen.bmp";

  const WindowHandle window = open("chart");
  ASSERT_NE(window, 0u);
  canvas_attach(window, 0, true);
  draw_test_chart(ChartWidth, ChartHeight);
  canvas_redraw();
  canvas_save_bmp(with_window);
  close_by_window_manager(window);

  const std::string display = std::getenv("DISPLAY");
  unsetenv("DISPLAY");
  testing::internal::CaptureStderr();
  const WindowHandle offscreen = canvas_open_window("chart", 0, 0, ChartWidth, ChartHeight, 0);
  const std::string said = testing::internal::GetCapturedStderr();
  setenv("DISPLAY", display.c_str(), 1);
  ASSERT_NE(offscreen, 0u);
  EXPECT_EQ(x11_window_id(offscreen), 0u);
  EXPECT_EQ(thread_count(), threads_at_start_);
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find("off-screen"), std::string::npos) << said;
  EXPECT_TRUE(all_of_colour(canvas_snapshot(offscreen), ButtonFaceColour));

  canvas_attach(offscreen, 0, true);
  EXPECT_EQ(last_error(), 0);
  draw_test_chart(ChartWidth, ChartHeight);
  canvas_redraw();  // nothing to show, returns at once
  canvas_save_bmp(without);
  canvas_destroy_window(offscreen);

  const std::vector<std::uint8_t> a = read_bytes(with_window), b = read_bytes(without);
  EXPECT_EQ(a.size(), static_cast<std::size_t>(BitmapHeaderSize + bitmap_row_stride(ChartWidth) * ChartHeight));
  EXPECT_TRUE(a == b) << "the bitmaps differ";
  unlink(with_window.c_str());
  unlink(without.c_str());
  rmdir(folder.c_str());
}

TEST_F(WindowX11, ARefusedDisplayGivesTheOffScreenCanvasToo) {
  // A display number nobody serves (Xvfb picks the lowest free ones).
  const std::string unused = ":64999";
  ASSERT_NE(access("/tmp/.X11-unix/X64999", F_OK), 0);

  setenv("DISPLAY", unused.c_str(), 1);
  testing::internal::CaptureStderr();
  const WindowHandle window = canvas_open_window("refused", 0, 0, 64, 48, 0);
  const std::string said = testing::internal::GetCapturedStderr();
  shared_test_display();
  ASSERT_NE(window, 0u);
  EXPECT_EQ(x11_window_id(window), 0u);
  EXPECT_NE(said.find("cannot open display \"" + unused + "\""), std::string::npos) << said;
  EXPECT_NE(said.find("off-screen"), std::string::npos) << said;
  EXPECT_TRUE(eventually([&] { return thread_count() == threads_at_start_; }));
  canvas_attach(window, 0, true);
  canvas_set_pixel(3, 4, 0x0000FF);
  EXPECT_EQ(canvas_pixel(window, 3, 4), 0x0000FF);
  canvas_destroy_window(window);
}

TEST_F(WindowX11, SizesThatCannotBeMadeGiveNoWindowAndNoThread) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(open("bad", 0, 100), 0u);
  EXPECT_EQ(open("bad", 100, 40000), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(eventually([&] { return thread_count() == threads_at_start_; }));
}

// A channel of a shallow screen, 0..max, as xwdtopnm widens it to 0..255.
int narrow_channel(int value255, int max) { return (value255 * max + 127) / 255; }

TEST_F(WindowX11, ShallowScreensShowTheSurfaceInTheirOwnPixels) {
  for (const char* screen : {"640x480x16", "640x480x8"}) {
    SCOPED_TRACE(screen);
    XvfbServer own;
    ASSERT_EQ(own.start(screen), "");
    setenv("DISPLAY", own.display.c_str(), 1);
    const WindowHandle window = canvas_open_window("shallow", 0, 0, 256, 64, 0);
    ASSERT_NE(window, 0u);
    const unsigned long xid = x11_window_id(window);
    ASSERT_NE(xid, 0u) << "no window on a " << screen << " screen";

    // Every level of each channel, and mixtures.
    canvas_attach(window, 0, true);
    for (int x = 0; x < 256; ++x) {
      for (int band = 0; band < 4; ++band) {
        const int colour = band == 3 ? (x | (255 - x) << 8 | (x * 7 % 256) << 16) : x << (8 * band);
        canvas_move_to(x, band * 16);
        canvas_line_to(x, band * 16 + 16, colour);
      }
    }
    canvas_redraw();
    const Raster surface = canvas_snapshot(window);
    std::string why;
    const std::optional<Raster> shown = screenshot(xid, why);
    ASSERT_TRUE(shown.has_value()) << why;
    ASSERT_EQ(shown->width, 256);
    ASSERT_EQ(shown->height, 64);

    TestConnection connection;
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(connection.display, xid, &attributes), 0);
    const Visual* visual = attributes.visual;
    EXPECT_EQ(visual->c_class, TrueColor);
    const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
    int mismatches = 0;
    for (int y = 0; y < 64 && mismatches < 5; ++y) {
      for (int x = 0; x < 256 && mismatches < 5; ++x) {
        for (int channel = 0; channel < 3; ++channel) {
          const int bits = __builtin_popcountl(masks[channel]);
          const int want = static_cast<int>((surface.at(x, y) >> (8 * channel)) & 0xFF) >> (8 - bits);
          const int got = narrow_channel(static_cast<int>((shown->at(x, y) >> (8 * channel)) & 0xFF), (1 << bits) - 1);
          if (want != got) {
            ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << channel << ": " << got << " for " << want;
            ++mismatches;
          }
        }
      }
    }
    send_delete_window(window);
    shared_test_display();
  }
}

TEST_F(WindowX11, LosingTheDisplayLeavesTheCanvasDrawingOffScreen) {
  XvfbServer own;
  ASSERT_EQ(own.start(), "");
  setenv("DISPLAY", own.display.c_str(), 1);
  const WindowHandle window = canvas_open_window("lost", 0, 0, 200, 100, 0);
  shared_test_display();
  ASSERT_NE(window, 0u);
  ASSERT_NE(x11_window_id(window), 0u);
  canvas_attach(window, 0, false);
  canvas_clear(0xFFFFFF, 0);

  testing::internal::CaptureStderr();
  own.stop();
  // The window thread notices, leaves the canvas without a screen and ends.
  const bool ended = eventually([&] { return x11_window_id(window) == 0 && thread_count() == threads_at_start_; });
  EXPECT_TRUE(ended) << x11_window_id(window) << " " << thread_count();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("lost the connection"), std::string::npos) << said;

  canvas_set_pixel(5, 6, 0x00FF00);  // repaints nothing, returns
  canvas_redraw();
  EXPECT_EQ(canvas_pixel(window, 5, 6), 0x00FF00);
  EXPECT_EQ(thread_record().current_target, canvas_child(window, 0));
  canvas_destroy_window(window);
}

}  // namespace
