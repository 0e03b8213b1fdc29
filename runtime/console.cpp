#include "runtime/console.hpp"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

#include "runtime/runtime_state.hpp"
#include "runtime/stream_screen.hpp"
#include "runtime/terminal_screen.hpp"

namespace {

CellScreen* installed = nullptr;  // put in place by console_install
CellScreen* automatic = nullptr;  // chosen at first use
Text title;
bool title_set = false;

CellPosition clamped_cursor(CellScreen& screen, CellSize size) {
  CellPosition p = screen.cursor();
  return {std::clamp(p.column, 0, size.width - 1), std::clamp(p.row, 0, size.height - 1)};
}

// The cursor rule, 1-based: out-of-range values keep the current ones.
void apply_cursor_rule(CellScreen& screen, int column, int row) {
  const CellSize size = screen.size();
  const bool column_outside = column < 1 || column > size.width;
  const bool row_outside = row < 1 || row > size.height;
  CellPosition current{0, 0};
  if (column_outside || row_outside) {
    // Only then is the current position needed (a terminal may have to be
    // asked for it).
    current = clamped_cursor(screen, size);
  }
  screen.set_cursor({column_outside ? current.column : column - 1, row_outside ? current.row : row - 1});
  runtime_state().pending_scroll = false;
}

// A terminal that cannot move its cursor (TERM=dumb, as in an editor's
// shell buffer) gets the output as a stream.
bool dumb_terminal() {
  const char* term = std::getenv("TERM");
  return term != nullptr && std::string_view(term) == "dumb";
}

Text executable_path() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return Text();
  return Text(buffer, static_cast<std::size_t>(n));
}

}  // namespace

CellScreen& console_screen() {
  if (installed != nullptr) return *installed;
  if (automatic == nullptr) {
    // Never freed: the terminal is restored by terminal_restore, not by a
    // destructor, so there is nothing to tear down at exit.
    if (runtime_state().stdout_is_terminal && !dumb_terminal()) {
      automatic = new TerminalScreen(STDOUT_FILENO);
    } else {
      automatic = new StreamScreen(STDOUT_FILENO);
    }
  }
  return *automatic;
}

void console_install(CellScreen* screen) {
  installed = screen;
  title.clear();
  title_set = false;
}

void console_forget_cursor() {
  CellScreen* in_use = installed != nullptr ? installed : automatic;
  if (in_use != nullptr) in_use->forget_cursor();
}

std::uint8_t console_attribute() {
  const RuntimeState& state = runtime_state();
  return static_cast<std::uint8_t>(((state.background & 15) << 4) | (state.foreground & 15));
}

void console_print(std::string_view text) {
  if (text.empty()) return;
  CellScreen& screen = console_screen();
  RuntimeState& state = runtime_state();
  const CellSize size = screen.size();
  CellPosition p = clamped_cursor(screen, size);
  const std::uint8_t attribute = console_attribute();
  while (!text.empty()) {
    if (state.pending_scroll) {
      state.pending_scroll = false;
      screen.scroll_up(attribute);
    }
    const std::size_t room = static_cast<std::size_t>(size.width - p.column);
    const std::size_t count = std::min(text.size(), room);
    screen.write_cells(p, text.substr(0, count), attribute);
    text.remove_prefix(count);
    p.column += static_cast<int>(count);
    if (p.column >= size.width) {
      p.column = 0;
      if (p.row + 1 < size.height) {
        ++p.row;
      } else {
        state.pending_scroll = true;
      }
    }
  }
  // Unlike the cursor rule, a print keeps the pending scroll.
  screen.set_cursor(p);
  screen.flush();
}

void console_newline() {
  CellScreen& screen = console_screen();
  RuntimeState& state = runtime_state();
  const CellSize size = screen.size();
  CellPosition p = clamped_cursor(screen, size);
  const std::uint8_t attribute = console_attribute();
  if (p.row + 1 == size.height) {
    if (state.pending_scroll) {
      state.pending_scroll = false;
      screen.scroll_up(attribute);
    }
    screen.scroll_up(attribute);
  } else {
    ++p.row;
  }
  apply_cursor_rule(screen, 1, p.row + 1);
  screen.flush();
}

void console_set_cursor(int column, int row) {
  CellScreen& screen = console_screen();
  apply_cursor_rule(screen, column, row);
  screen.flush();
}

CellPosition console_cursor() {
  CellScreen& screen = console_screen();
  CellPosition p = clamped_cursor(screen, screen.size());
  return {p.column + 1, p.row + 1};
}

void console_clear() {
  CellScreen& screen = console_screen();
  screen.show_cursor(false);
  screen.fill(console_attribute());
  apply_cursor_rule(screen, 1, 1);
  screen.show_cursor(true);
  screen.flush();
}

Text console_get_title() {
  if (title_set) return title;
  return executable_path();
}

void console_set_title(std::string_view text) {
  title.assign(text);
  title_set = true;
  CellScreen& screen = console_screen();
  screen.set_title(text);
  screen.flush();
}
