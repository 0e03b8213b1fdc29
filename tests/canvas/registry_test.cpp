#include "canvas/canvas.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "canvas/fonts.hpp"
#include "canvas/primitives.hpp"
#include "canvas/text.hpp"
#include "canvas_test_support.hpp"
#include "runtime/errors.hpp"

namespace {

TEST(CanvasCreate, RejectsSizesThatCannotBeMade) {
  for (auto [w, h] : {std::pair{0, 10}, {10, 0}, {-5, 5}, {40000, 10}, {10, 40000}}) {
    EXPECT_EQ(canvas_create_offscreen(w, h), 0u) << w << "x" << h;
  }
}

TEST(CanvasAttach, FindsTheCanvasBehindTheWindowOrItself) {
  AttachedCanvas canvas;
  const WindowHandle control = canvas_child(canvas.window, 0);
  ASSERT_NE(control, 0u);
  EXPECT_NE(control, canvas.window);
  clear_error();
  canvas_attach(control, 7, false);  // no child 7: the handle itself
  EXPECT_EQ(last_error(), 0);
  EXPECT_EQ(thread_record().current_target, control);
  EXPECT_EQ(canvas.record()->flags & CanvasRedrawMode, 0u);
  canvas_attach(canvas.window, 0, true);
  EXPECT_EQ(thread_record().current_target, control);
  EXPECT_NE(canvas.record()->flags & CanvasRedrawMode, 0u);
}

TEST(CanvasAttach, WithoutACanvasRaisesFiveAndLeavesNoTarget) {
  AttachedCanvas canvas;
  clear_error();
  canvas_attach(0x7FFFFFFF, 0, true);
  EXPECT_EQ(last_error(), 5);
  EXPECT_EQ(thread_record().current_target, 0u);
  // A graphic window's own record is not a drawing target either.
  clear_error();
  canvas_destroy_window(canvas_child(canvas.window, 0));
  canvas_attach(canvas.window, 0, true);
  EXPECT_EQ(last_error(), 5);
  EXPECT_EQ(thread_record().current_target, 0u);
  clear_error();
}

TEST(CanvasDestroy, DrawingAfterwardsDoesNothingAndAttachRaisesFive) {
  const WindowHandle window = canvas_create_offscreen(30, 20);
  canvas_attach(window, 0, true);
  canvas_set_pixel(1, 1, static_cast<int>(Red));
  EXPECT_EQ(canvas_pixel(window, 1, 1), static_cast<std::int32_t>(Red));
  canvas_destroy_window(window);
  canvas_set_pixel(2, 2, static_cast<int>(Red));  // quietly nothing
  EXPECT_EQ(thread_record().current_target, 0u);
  EXPECT_EQ(canvas_pixel(window, 1, 1), -1);
  EXPECT_EQ(canvas_snapshot(window).pixels.size(), 0u);
  clear_error();
  canvas_attach(window, 0, true);
  EXPECT_EQ(last_error(), 5);
  clear_error();
}

TEST(CanvasDestroy, GivesTheFontSlotBack) {
  const int before = font_slot(1)->reference_count;
  const WindowHandle window = canvas_create_offscreen(10, 10);
  EXPECT_EQ(font_slot(1)->reference_count, before + 1);
  canvas_destroy_window(window);
  EXPECT_EQ(font_slot(1)->reference_count, before);
}

TEST(CurrentTarget, IsPerThread) {
  AttachedCanvas canvas;
  std::thread other([] {
    EXPECT_EQ(thread_record().current_target, 0u);
    canvas_set_pixel(3, 3, static_cast<int>(Red));  // this thread never attached
  });
  other.join();
  EXPECT_EQ(canvas.pixel(3, 3), static_cast<std::int32_t>(White));
  canvas_set_pixel(3, 3, static_cast<int>(Red));
  EXPECT_EQ(canvas.pixel(3, 3), static_cast<std::int32_t>(Red));
}

void count_repaint(void* context) { ++*static_cast<int*>(context); }

TEST(Refresh, RunsAfterEachDrawingOperationUnlessInRedrawMode) {
  AttachedCanvas canvas;
  int repaints = 0;
  canvas_set_repaint_hook(canvas.window, RepaintHook{count_repaint, &repaints});
  canvas_attach(canvas.window, 0, false);
  const struct {
    const char* name;
    void (*draw)();
    int repaints;
  } steps[] = {
      {"move", [] { canvas_move_to(1, 1); }, 0},
      {"line", [] { canvas_line_to(5, 5, -1); }, 1},
      {"pixel", [] { canvas_set_pixel(6, 6, -1); }, 1},
      {"box", [] { canvas_box(1, 1, 9, 9, 0, -1, -2, 0); }, 1},
      {"clear", [] { canvas_clear(-1, 0); }, 1},
      {"print", [] { canvas_print("x"); }, 1},
      {"empty print", [] { canvas_print(""); }, 0},
      {"newline", [] { canvas_newline(); }, 0},
      {"style", [] { canvas_set_style(1); }, 0},
      {"redraw", [] { canvas_redraw(); }, 1},
  };
  for (const auto& step : steps) {
    repaints = 0;
    step.draw();
    EXPECT_EQ(repaints, step.repaints) << step.name;
  }
  canvas_attach(canvas.window, 0, true);
  for (const auto& step : steps) {
    repaints = 0;
    step.draw();
    EXPECT_EQ(repaints, std::string(step.name) == "redraw" ? 1 : 0) << step.name << " in redraw mode";
  }
}

// The hook runs without the raster lock: a window thread can copy the raster
// while the drawing thread waits for it.
TEST(Refresh, HookCanReadTheRasterFromAnotherThread) {
  AttachedCanvas canvas;
  struct Context {
    WindowHandle window;
    std::int32_t seen = -2;
  } context{canvas.window};
  canvas_set_repaint_hook(canvas.window, RepaintHook{[](void* p) {
                                                       auto* c = static_cast<Context*>(p);
                                                       std::thread painter([c] { c->seen = canvas_pixel(c->window, 2, 2); });
                                                       painter.join();
                                                     },
                                                     &context});
  canvas_attach(canvas.window, 0, false);
  canvas_set_pixel(2, 2, static_cast<int>(Blue));
  EXPECT_EQ(context.seen, static_cast<std::int32_t>(Blue));
}

TEST(RasterLock, CopiesNeverSeeHalfDrawnOperations) {
  AttachedCanvas canvas(200, 40);
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done.load()) {
      const Raster copy = canvas_snapshot(canvas.window);
      // Every clear paints all rows in one colour, so a copy is uniform.
      for (Colour c : copy.pixels) {
        if (c != copy.pixels[0]) {
          torn.fetch_add(1);
          break;
        }
      }
    }
  });
  for (int i = 0; i < 300; ++i) canvas_clear(static_cast<int>(i % 2 ? Red : Blue), 0);
  done.store(true);
  reader.join();
  EXPECT_EQ(torn.load(), 0);
}

TEST(CanvasDestroy, WhileAnotherThreadDrawsIsSafe) {
  const WindowHandle window = canvas_create_offscreen(100, 100);
  std::atomic<bool> attached{false};
  std::atomic<bool> target_dropped{false};
  std::thread drawer([&] {
    canvas_attach(window, 0, true);
    attached.store(true);
    for (int i = 0; i < 100000 && thread_record().current_target != 0; ++i) {
      canvas_move_to(0, i % 100);
      canvas_line_to(100, i % 100, i);
      canvas_print("abc");
    }
    target_dropped.store(thread_record().current_target == 0);
  });
  while (!attached.load()) std::this_thread::yield();
  canvas_destroy_window(window);
  drawer.join();
  EXPECT_TRUE(target_dropped.load());
}

}  // namespace
