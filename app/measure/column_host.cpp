#include "app/measure/column_host.hpp"

#include "runtime/beep.hpp"
#include "runtime/clock.hpp"
#include "runtime/console.hpp"
#include "runtime/keys.hpp"
#include "runtime/text.hpp"

double ConsoleHost::seconds() { return static_cast<double>(monotonic_seconds()); }

void ConsoleHost::time_limit_reached() { beep(); }

bool ConsoleHost::escape_pressed() {
  static const Text EscapeKey = "\x1b";
  return key_poll() == EscapeKey;
}

void ConsoleHost::iteration_ceiling_reached() {
  console_print("Done!");
  console_newline();
  key_wait();
}
