// Drives the console the way the plot program does, for tests that look at
// a real terminal. The first argument picks what is shown:
//   lines   a few lines (one wraps, one holds byte 241, one a line feed
//           byte), then each key read is shown in hex until "q" or the end
//           of input;
//   scroll  twelve numbered lines, more than the terminal holds;
//   fill    a last row filled exactly, then a new line and one more line;
//   colour  one line in yellow on blue, then one in the default colours;
//   continue  no clearing: one line where the terminal's cursor was;
//   child   a line, a program started that writes a line of its own, and
//           one more line.
// "ready" is printed when the scene is complete; then it waits for a key.
#include <cstdio>
#include <string>

#include "runtime/console.hpp"
#include "runtime/keys.hpp"
#include "runtime/process.hpp"
#include "runtime/runtime_state.hpp"
#include "runtime/startup.hpp"

namespace {

void line(const std::string& text) {
  console_print(text);
  console_newline();
}

std::string hex(const Text& key) {
  std::string out = "key";
  char buffer[8];
  for (unsigned char b : key) {
    std::snprintf(buffer, sizeof buffer, " %02X", b);
    out += buffer;
  }
  return out;
}

int demo(const MainArguments& arguments) {
  const std::string scene = arguments.arguments.empty() ? "lines" : arguments.arguments[0];
  console_set_title("demo title");
  if (scene != "continue") console_clear();
  if (scene == "lines") {
    line("first");
    line("0123456789012345678901234567890123");
    line(std::string("0.5 ") + '\xF1' + " 0.25");
    line("lf:\n:end");
  } else if (scene == "scroll") {
    for (int i = 1; i <= 12; ++i) line("line " + std::to_string(i));
  } else if (scene == "fill") {
    line("top");
    const CellSize size = console_screen().size();
    console_set_cursor(1, size.height);
    console_print(std::string(static_cast<std::size_t>(size.width), '#'));
    console_newline();
    line("next");
  } else if (scene == "colour") {
    runtime_state().foreground = 14;
    runtime_state().background = 1;
    line("yellow on blue");
    runtime_state().foreground = 7;
    runtime_state().background = 0;
    line("plain");
  } else if (scene == "continue") {
    line("continued");
  } else if (scene == "child") {
    line("before");
    run_command("echo child", RunWait, 0);
    line("after");
  }
  console_print("ready");
  console_newline();
  for (;;) {
    const Text key = key_wait();
    if (key.empty()) break;
    line(hex(key));
    if (key == "q") break;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { program_entry(argc, argv, &demo); }
