#include "runtime/terminal_mode.hpp"

#include <csignal>
#include <cstring>
#include <termios.h>
#include <unistd.h>

#include "runtime/errors.hpp"
#include "runtime/replace_file.hpp"

namespace {

struct termios saved_settings;
volatile sig_atomic_t have_saved_settings = 0;
char reset_bytes[64] = {0};
volatile sig_atomic_t reset_length = 0;

void restore_and_reraise(int signal_number) {
  terminal_restore();
  // A file being replaced keeps its old contents; its temporary goes.
  remove_pending_replacement();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void install(int signal_number, void (*handler)(int)) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

void terminal_set_reset_bytes(const char* bytes) {
  std::size_t n = std::strlen(bytes);
  if (n >= sizeof reset_bytes) n = sizeof reset_bytes - 1;
  reset_length = 0;
  std::memcpy(reset_bytes, bytes, n);
  reset_bytes[n] = 0;
  reset_length = static_cast<sig_atomic_t>(n);
}

void terminal_enter_raw_mode() {
  set_fatal_hook(&terminal_restore);
  install(SIGTERM, &restore_and_reraise);
  install(SIGHUP, &restore_and_reraise);
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_settings) != 0) {
    // Keys cannot be read here, so Ctrl+C keeps its usual meaning; the
    // output settings are still put back.
    install(SIGINT, &restore_and_reraise);
    install(SIGQUIT, &restore_and_reraise);
    return;
  }
  have_saved_settings = 1;
  struct termios raw = saved_settings;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  // Ctrl+C and Ctrl+\ never interrupt the program, also when sent by kill.
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGQUIT, SIG_IGN);
}

void terminal_restore() {
  if (reset_length > 0) {
    ssize_t ignored = write(STDOUT_FILENO, reset_bytes, static_cast<std::size_t>(reset_length));
    (void)ignored;
  }
  if (have_saved_settings) tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
}
