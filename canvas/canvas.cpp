#include "canvas/canvas.hpp"

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>
#include <vector>

#include "canvas/font_engine.hpp"
#include "canvas/font_table.hpp"
#include "runtime/errors.hpp"
#include "runtime/runtime_state.hpp"

namespace {

struct RegistryRecord {
  WindowHandle handle = 0;
  WindowHandle parent = 0;
  RecordKind kind = RecordKind::GraphicWindow;
  bool child_control = false;
  int control_id = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::shared_ptr<Canvas> canvas;  // for kind Canvas
};

struct CanvasRegistry {
  SpinLock lock;
  std::vector<RegistryRecord> records;  // newest first
};

// Never destroyed: the window thread may still look records up while the
// process ends.
CanvasRegistry& registry() {
  static CanvasRegistry* instance = new CanvasRegistry;
  return *instance;
}

std::atomic<WindowHandle> next_handle{0x10000};

constexpr int MaxSide = 32767;

// A new canvas shows slot 1. The first canvas makes slot 1's font,
// truncating its points to whole pixels (where a later selection rounds).
void select_default_font(Canvas& canvas) {
  const float points = font_slot_points(1).value_or(0.0f);
  std::shared_ptr<Font> font = font_slot_font(1, -static_cast<std::int32_t>(PixelsPerInch * points / 72));
  font_slot_hold(1);
  std::lock_guard<std::mutex> guard(canvas.lock);
  canvas_use_font(canvas, 1, font);
}

// The canvas of a window, or the canvas itself when given its handle.
std::shared_ptr<Canvas> canvas_behind(WindowHandle handle) {
  const WindowHandle child = canvas_child(handle, 0);
  return canvas_find(child != 0 ? child : handle);
}

}  // namespace

WindowHandle canvas_create_offscreen(int width, int height) {
  if (width < 1 || height < 1 || width > MaxSide || height > MaxSide) return 0;
  std::shared_ptr<Canvas> canvas;
  try {
    canvas = std::make_shared<Canvas>();
    canvas->raster = make_raster(width, height, ButtonFaceColour);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  const WindowHandle window = next_handle.fetch_add(2);
  canvas->handle = window + 1;
  canvas->parent = window;
  canvas->width = width;
  canvas->height = height;
  canvas->foreground = WindowTextColour;
  canvas->background = ButtonFaceColour;
  select_default_font(*canvas);

  CanvasRegistry& r = registry();
  SpinGuard guard(r.lock);
  r.records.insert(r.records.begin(), RegistryRecord{window, 0, RecordKind::GraphicWindow, false, 0, width, height, {}});
  r.records.insert(r.records.begin(),
                   RegistryRecord{canvas->handle, window, RecordKind::Canvas, true, 0, width, height, canvas});
  return window;
}

void canvas_destroy_window(WindowHandle window) {
  std::vector<std::shared_ptr<Canvas>> removed;
  {
    CanvasRegistry& r = registry();
    SpinGuard guard(r.lock);
    auto doomed = [window](const RegistryRecord& record) {
      return record.handle == window || (record.child_control && record.parent == window);
    };
    for (const RegistryRecord& record : r.records) {
      if (doomed(record) && record.canvas) removed.push_back(record.canvas);
    }
    r.records.erase(std::remove_if(r.records.begin(), r.records.end(), doomed), r.records.end());
  }

  for (const std::shared_ptr<Canvas>& canvas : removed) {
    std::int32_t slot;
    {
      std::lock_guard<std::mutex> guard(canvas->lock);
      slot = canvas->font_slot;
      canvas->font_slot = 0;
      canvas->font.reset();
    }
    font_slot_release(slot);
  }
}

WindowHandle canvas_child(WindowHandle window, int control_id) {
  if (window == 0) return 0;
  CanvasRegistry& r = registry();
  SpinGuard guard(r.lock);
  for (const RegistryRecord& record : r.records) {
    if (record.child_control && record.parent == window && record.control_id == control_id) return record.handle;
  }
  return 0;
}

std::shared_ptr<Canvas> canvas_find(WindowHandle handle) {
  if (handle == 0) return nullptr;
  CanvasRegistry& r = registry();
  SpinGuard guard(r.lock);
  for (const RegistryRecord& record : r.records) {
    if (record.handle == handle) return record.kind == RecordKind::Canvas ? record.canvas : nullptr;
  }
  return nullptr;
}

std::shared_ptr<Canvas> canvas_current() {
  ThreadRecord& thread = thread_record();
  std::shared_ptr<Canvas> canvas = canvas_find(thread.current_target);
  if (!canvas) thread.current_target = 0;
  return canvas;
}

void canvas_attach(WindowHandle window, int control_id, bool redraw) {
  const WindowHandle child = canvas_child(window, control_id);
  const WindowHandle candidate = child != 0 ? child : window;
  ThreadRecord& thread = thread_record();
  thread.current_target = 0;
  std::shared_ptr<Canvas> canvas = canvas_find(candidate);
  if (!canvas) {
    raise_error(5);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(canvas->lock);
    if (redraw) {
      canvas->flags |= CanvasRedrawMode;
    } else {
      canvas->flags &= ~CanvasRedrawMode;
    }
  }
  thread.current_target = candidate;
}

namespace {

void run_hook(Canvas& canvas, bool always) {
  RepaintHook hook;
  {
    std::lock_guard<std::mutex> guard(canvas.lock);
    if (!always && (canvas.flags & CanvasRedrawMode) != 0) return;
    hook = canvas.repaint;
  }
  if (hook.function != nullptr) hook.function(hook.context);
}

}  // namespace

void canvas_refresh(Canvas& canvas) { run_hook(canvas, false); }

void canvas_redraw() {
  if (std::shared_ptr<Canvas> canvas = canvas_current()) run_hook(*canvas, true);
}

void canvas_set_repaint_hook(WindowHandle window, RepaintHook hook) {
  if (std::shared_ptr<Canvas> canvas = canvas_behind(window)) {
    std::lock_guard<std::mutex> guard(canvas->lock);
    canvas->repaint = hook;
  }
}

bool canvas_read_raster(WindowHandle window, const std::function<void(const Raster&)>& reader) {
  std::shared_ptr<Canvas> canvas = canvas_behind(window);
  if (!canvas) return false;
  std::lock_guard<std::mutex> guard(canvas->lock);
  reader(canvas->raster);
  return true;
}

Raster canvas_snapshot(WindowHandle window) {
  Raster copy;
  canvas_read_raster(window, [&copy](const Raster& raster) { copy = raster; });
  return copy;
}

std::int32_t canvas_pixel(WindowHandle window, int x, int y) {
  std::int32_t value = -1;
  canvas_read_raster(window, [&](const Raster& raster) {
    if (raster.contains(x, y)) value = static_cast<std::int32_t>(raster.at(x, y));
  });
  return value;
}

std::int32_t canvas_use_font(Canvas& canvas, std::int32_t slot, const std::shared_ptr<Font>& font) {
  const std::int32_t previous = canvas.font_slot;
  canvas.font_slot = slot;
  canvas.font = font;
  if (canvas.font) {
    const FontMetrics& m = font_metrics(*canvas.font);
    canvas.average_char_width = m.average_char_width;
    canvas.char_height = m.height;
    canvas.external_leading = m.external_leading;
  } else {
    canvas.average_char_width = canvas.char_height = canvas.external_leading = 0;
  }
  return previous;
}
