#include "canvas/window_input.hpp"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "canvas/x11_keys.hpp"
#include "canvas_test_support.hpp"

namespace {

TEST(WindowKeys, KeysBecomeCharactersOrScanCodes) {
  struct Case {
    unsigned long keysym;
    const char* typed;
    bool alt;
    int expected;  // -1: the last key stays as it was
  };
  const Case cases[] = {
      {XK_F1, "", false, 0x3B00},       {XK_F10, "", false, 0x4400},     {XK_F11, "", false, 0x5700},
      {XK_F12, "", false, 0x5800},      {XK_F10, "", true, 0x4400},      {XK_F1, "", true, -1},
      {XK_a, "a", false, 'a'},          {XK_a, "a", true, -1},           {XK_A, "A", false, 'A'},
      {XK_Tab, "\t", false, -1},        {XK_Return, "\r", false, 13},    {XK_Escape, "\x1b", false, 27},
      {XK_BackSpace, "\b", false, 8},   {XK_c, "\x03", false, 3},        {XK_eacute, "\xE9", false, 0xE9},
      {XK_Home, "", false, 0x4700},     {XK_Up, "", false, 0x4800},      {XK_Prior, "", false, 0x4900},
      {XK_Left, "", false, 0x4B00},     {XK_Right, "", false, 0x4D00},   {XK_End, "", false, 0x4F00},
      {XK_Down, "", false, 0x5000},     {XK_Next, "", false, 0x5100},    {XK_Insert, "", false, 0x5200},
      {XK_Delete, "\x7f", false, 0x5300},  // the scan code, not the DEL character
      {XK_KP_Home, "", false, 0x4700},  {XK_KP_Begin, "", false, 0x4C00}, {XK_KP_Delete, "", false, 0x5300},
      {XK_KP_7, "7", false, '7'},       {XK_KP_Enter, "\r", false, 13},  {XK_KP_Divide, "/", false, '/'},
      {XK_KP_Subtract, "-", false, '-'}, {XK_Control_R, "", false, 0x1D00}, {XK_Control_L, "", false, -1},
      {XK_Shift_L, "", false, -1},      {XK_Super_L, "", false, 0x5B00},
  };
  for (const Case& c : cases) {
    const std::optional<std::uint16_t> key = canvas_key_from_x11(c.keysym, c.typed, c.alt);
    if (c.expected < 0) {
      EXPECT_FALSE(key.has_value()) << std::hex << c.keysym;
    } else {
      EXPECT_EQ(key, std::optional<std::uint16_t>(c.expected)) << std::hex << c.keysym;
    }
  }
}

TEST(WindowClicks, SecondPressSoonAndCloseByIsADoubleClick) {
  struct Press {
    std::uint64_t time;
    int x, y;
    bool is_double;
  };
  const Press presses[] = {
      {1000, 10, 10, false}, {1500, 12, 8, true},    // 500 ms, 2 pixels: double
      {1600, 12, 8, false},                          // a third press begins anew
      {2101, 12, 8, false},                          // 501 ms after the one before
      {2200, 15, 8, false},                          // 3 pixels away
      {2300, 15, 8, true},  {5000, 0, 0, false}, {4000, 0, 0, false},  // time going back
  };
  ClickTracker tracker;
  for (const Press& p : presses) EXPECT_EQ(click_is_double(tracker, p.time, p.x, p.y), p.is_double) << p.time;
}

TEST(WindowInput, RecordsKeysClicksFocusAndCloseOnTheCanvas) {
  AttachedCanvas canvas;
  EXPECT_EQ(canvas_input(canvas.window)->last_key, 0);
  canvas_record_key(canvas.window, 0x3B00);
  canvas_record_click(canvas.window, 5, 6, false);
  canvas_record_focus(canvas.window, true);
  CanvasInput input = *canvas_input(canvas.window);
  EXPECT_EQ(input.last_key, 0x3B00);
  EXPECT_EQ(input.click_state, ClickSingle);
  EXPECT_EQ(input.click_x, 5);
  EXPECT_EQ(input.click_y, 6);
  EXPECT_TRUE(input.has_focus);
  EXPECT_FALSE(input.close_requested);

  canvas_record_click(canvas.window, 7, 8, true);
  canvas_record_focus(canvas.window, false);
  canvas_record_close_request(canvas.window);
  input = *canvas_input(canvas.window);
  EXPECT_EQ(input.click_state, ClickSingle | ClickDouble);
  EXPECT_EQ(input.click_x, 7);
  EXPECT_FALSE(input.has_focus);
  EXPECT_TRUE(input.close_requested);
  // The canvas's other flags are untouched.
  EXPECT_NE(canvas.record()->flags & CanvasRedrawMode, 0u);
  // The canvas itself answers as its window does.
  EXPECT_EQ(canvas_input(canvas_child(canvas.window, 0))->click_x, 7);
}

TEST(WindowInput, WithoutACanvasNothingHappens) {
  const WindowHandle window = canvas_create_offscreen(4, 4);
  canvas_destroy_window(window);
  canvas_record_key(window, 'x');
  canvas_record_click(window, 1, 1, false);
  EXPECT_FALSE(canvas_input(window).has_value());
}

}  // namespace
