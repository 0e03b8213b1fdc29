#include "runtime/startup.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fpu_control.h>
#include <unistd.h>

#include "runtime/random.hpp"
#include "runtime/runtime_state.hpp"
#include "runtime/terminal_mode.hpp"

namespace {
RuntimeState state;
thread_local ThreadRecord record;
}  // namespace

RuntimeState& runtime_state() { return state; }
ThreadRecord& thread_record() { return record; }

void set_numeric_environment() {
  fpu_control_t word = _FPU_EXTENDED | _FPU_RC_NEAREST | _FPU_MASK_IM | _FPU_MASK_DM | _FPU_MASK_ZM |
                       _FPU_MASK_OM | _FPU_MASK_UM | _FPU_MASK_PM | 0x40;
  _FPU_SETCW(word);
}

std::string command_tail_of(const std::vector<std::string>& arguments) {
  std::string tail;
  for (const std::string& argument : arguments) {
    if (!tail.empty()) tail.push_back(' ');
    tail += argument;
  }
  return tail;
}

bool occupy_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open gives the lowest free descriptor, which is this one.
    const int null = open("/dev/null", O_RDWR | O_NOCTTY);
    if (null != fd) return false;
  }
  return true;
}

void program_entry(int argc, char** argv, MainProcedure main) {
  // Before anything is opened: a closed standard output must not make the
  // next file opened (the results) receive what is printed.
  if (!occupy_standard_descriptors()) _exit(255);
  state.stdin_is_terminal = isatty(STDIN_FILENO) == 1;
  state.stdout_is_terminal = isatty(STDOUT_FILENO) == 1;
  terminal_enter_raw_mode();
  state.show_mode = 10;
  state.arguments.assign(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  state.command_tail = command_tail_of(state.arguments);
  state.foreground = 7;
  state.background = 0;
  state.pending_scroll = false;
  random_state() = RandomState{};
  set_numeric_environment();

  const int result = main(MainArguments{state.command_tail, state.arguments, state.show_mode});

  std::fflush(nullptr);
  terminal_restore();
  // Other threads (the graphic window's) may still run: end without running
  // static destructors under their feet.
  _exit(result);
}
