// Process-wide and per-thread records of the runtime.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RuntimeState {
  bool stdin_is_terminal = false;
  bool stdout_is_terminal = false;
  // Console character attribute = background * 16 + foreground.
  int foreground = 7;
  int background = 0;
  bool pending_scroll = false;
  int show_mode = 10;
  // The argument part of the command line, and the arguments one by one.
  std::string command_tail;
  std::vector<std::string> arguments;
  // X11 window of the terminal we run in, once found (0 = not looked up yet).
  unsigned long console_window = 0;
};

RuntimeState& runtime_state();

// Per-thread record, found through thread-local storage.
struct ThreadRecord {
  // Handle of the canvas that this thread's drawing operations act on; 0 = none.
  std::uintptr_t current_target = 0;
};

ThreadRecord& thread_record();
