// What every run does around its columns: the terminal and the chart at the
// start, "Done!", the bitmap and the converter at the end; and the exit
// codes it ends with.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/measure/column_result.hpp"
#include "app/measure/sweep.hpp"
#include "runtime/text.hpp"

// 0 a normal end (or Esc), 1 a file could not be written, 2 bad options, a
// refused resumption or merge, or a run already going on here.
constexpr int WriteFailed = 1;
constexpr int Refused = 2;

// One line on standard error, and the exit code to end with.
int Fail(const std::string& message, int code = Refused);

// Files that could not be written: each is reported once, and the run ends
// with WriteFailed after doing everything else.
struct FailedWrites {
  std::set<std::string> files;
  void add(const std::string& file, const std::string& why);
  int exit_code() const { return files.empty() ? 0 : WriteFailed; }
};

// Titles and clears the terminal, opens the chart window (off-screen when
// headless or without a display) and draws the frame.
void OpenChart(const Text& title, bool headless);

// Hands finished columns to the observers again, in order: the report line
// and the curve show them exactly as they were first shown.
void ReplayColumns(const std::vector<ColumnResult>& columns, const std::vector<ColumnObserver>& observers);

// "Done!", the chart saved as RUN.bmp, then (when `convert`) the converter
// on RUN, and the wait for a key. `after_save` runs once the bitmap is safe.
// Returns the exit code.
struct RunEnd {
  std::string run_name;
  bool convert = true;
  std::string remove_after_save;  // a file the saved bitmap makes unneeded, if any
};
int EndRun(const RunEnd& end, FailedWrites& failed);
