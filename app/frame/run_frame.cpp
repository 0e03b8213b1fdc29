#include "app/frame/run_frame.hpp"

#include <cstdio>
#include <unistd.h>

#include "app/frame/chart_frame.hpp"
#include "app/measure/parameters.hpp"
#include "canvas/bitmap.hpp"
#include "canvas/canvas.hpp"
#include "canvas/primitives.hpp"
#include "canvas/window.hpp"
#include "runtime/console.hpp"
#include "runtime/console_window.hpp"
#include "runtime/errors.hpp"
#include "runtime/keys.hpp"
#include "runtime/printable.hpp"
#include "runtime/process.hpp"

namespace {

constexpr int ShowNormal = 1;
constexpr int WaitForEnd = 0x8000;
// The run-time error of a program that does not exist.
constexpr std::int32_t FileNotFound = 53;
// The chart window: the plot area, the margin left of it for the exponent
// labels, and a strip below it for the damping labels.
constexpr std::int32_t ChartWidth = Margin + PlotWidth;
constexpr std::int32_t ChartHeight = PlotHeight + 24;

}  // namespace

// Messages name files and values as given: shown escaped, each stays one
// line.
int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "flockchase: %s\n", escape_controls(message).c_str());
  return code;
}

void FailedWrites::add(const std::string& file, const std::string& why) {
  if (files.insert(file).second) std::fprintf(stderr, "flockchase: %s\n", escape_controls(why).c_str());
}

void OpenChart(const Text& title, bool headless) {
  console_set_title(title);
  console_clear();
  console_move_window(Margin + PlotWidth + 6, 0);
  console_clear();

  const WindowHandle window = headless ? canvas_create_offscreen(ChartWidth, ChartHeight)
                                       : canvas_open_window(title, 0, 0, ChartWidth, ChartHeight, 0);
  canvas_attach(window, 0, true);
  canvas_set_foreground(0);
  canvas_set_background(0xFFFFFF);
  canvas_clear(DefaultColour, 0);
  DrawChartFrame(DampingMax);
}

void ReplayColumns(const std::vector<ColumnResult>& columns, const std::vector<ColumnObserver>& observers) {
  for (const ColumnResult& r : columns) {
    for (const ColumnObserver& observe : observers) observe(r);
  }
}

int EndRun(const RunEnd& end, FailedWrites& failed) {
  console_print("Done!");
  console_newline();
  canvas_redraw();
  const std::string bitmap_path = end.run_name + ".bmp";
  if (canvas_save_bmp(string_concat(end.run_name, ".bmp"))) {
    // Only now is the run's result safe; until then --resume can still
    // finish it.
    if (!end.remove_after_save.empty()) unlink(end.remove_after_save.c_str());
    if (end.convert) {
      clear_error();
      run_command(string_concat("picvec ", end.run_name), ShowNormal | WaitForEnd, 0);
      if (last_error() != 0) {
        std::fprintf(stderr, "flockchase: cannot start the converter picvec: %s\n",
                     last_error() == FileNotFound ? "not found on PATH" : ("run-time error " + std::to_string(last_error())).c_str());
      }
    }
  } else {
    failed.files.insert(bitmap_path);
    if (end.convert)
      std::fprintf(stderr, "flockchase: the converter is not started: %s was not written\n",
                   escape_controls(bitmap_path).c_str());
  }
  std::fflush(stderr);
  key_wait();
  return failed.exit_code();
}
