#include "runtime/terminal_screen.hpp"

#include <algorithm>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "runtime/code_page_437.hpp"
#include "runtime/keys.hpp"
#include "runtime/runtime_state.hpp"
#include "runtime/stream_screen.hpp"
#include "runtime/terminal_mode.hpp"

namespace {

constexpr int CursorReportTimeoutMs = 250;
constexpr char BaseReset[] = "\x1b[0m\x1b[?25h";

// Whether the terminal's answers to queries arrive as keys: standard input
// is the same terminal and reads bytes as they come.
bool answers_reach_us(int fd) {
  if (!runtime_state().stdin_is_terminal) return false;
  struct stat in {}, out {};
  if (fstat(STDIN_FILENO, &in) != 0 || fstat(fd, &out) != 0 || in.st_rdev != out.st_rdev) return false;
  termios mode{};
  return tcgetattr(STDIN_FILENO, &mode) == 0 && (mode.c_lflag & ICANON) == 0;
}

}  // namespace

std::string attribute_sequence(std::uint8_t attribute) {
  if (attribute == 7) return "\x1b[0m";
  // The console numbers colours blue = 1, red = 4; VT the other way round.
  static constexpr int Vt[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  const int fg = attribute & 15;
  const int bg = attribute >> 4;
  return "\x1b[0;" + std::to_string((fg & 8 ? 90 : 30) + Vt[fg & 7]) + ";" +
         std::to_string((bg & 8 ? 100 : 40) + Vt[bg & 7]) + "m";
}

std::string printable_title(std::string_view title) {
  std::string out;
  std::size_t i = 0;
  while (i < title.size()) {
    const unsigned char b = static_cast<unsigned char>(title[i]);
    if (b >= 0x20 && b < 0x7F) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    std::size_t n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    bool valid = n > 0 && i + n <= title.size();
    char32_t c = n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; valid && k < n; ++k) {
      const unsigned char t = static_cast<unsigned char>(title[i + k]);
      valid = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and C1 controls would let a title end the
    // sequence early or smuggle in another.
    if (valid && n == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
    if (valid && n == 4 && (c < 0x10000 || c > 0x10FFFF)) valid = false;
    if (valid && c < 0xA0) valid = false;
    if (valid) {
      out.append(title.substr(i, n));
      i += n;
    } else {
      out.push_back('?');
      ++i;
    }
  }
  return out;
}

TerminalScreen::TerminalScreen(int fd) : fd_(fd), reset_(BaseReset) { terminal_set_reset_bytes(reset_.c_str()); }

CellSize TerminalScreen::size() {
  winsize w{};
  CellSize now{80, 24};
  if (ioctl(fd_, TIOCGWINSZ, &w) == 0 && w.ws_col > 0 && w.ws_row > 0) now = {w.ws_col, w.ws_row};
  if (now.width != size_.width || now.height != size_.height) {
    // A resized terminal moves its contents and cursor in its own way.
    if (size_.width != 0) cursor_known_ = false;
    drawn_known_ = false;
    size_ = now;
  }
  return size_;
}

bool TerminalScreen::ask_cursor(CellPosition& position) {
  if (!answers_reach_us(fd_)) return false;
  key_input_expect_cursor_report();
  out_ += "\x1b[6n";
  write_all(fd_, out_);
  out_.clear();
  return key_input_cursor_report(CursorReportTimeoutMs, position);
}

CellPosition TerminalScreen::cursor() {
  const CellSize s = size();
  if (!cursor_known_) {
    CellPosition asked{0, 0};
    if (ask_cursor(asked)) {
      cursor_ = asked;
      drawn_ = asked;
      drawn_known_ = asked.column < s.width;
    } else {
      // No answer: the last row is where output of a program started from a
      // shell continues, and nothing above it is overwritten.
      cursor_ = {0, s.height - 1};
    }
    cursor_known_ = true;
  }
  cursor_.column = std::clamp(cursor_.column, 0, s.width - 1);
  cursor_.row = std::clamp(cursor_.row, 0, s.height - 1);
  return cursor_;
}

void TerminalScreen::forget_cursor() {
  cursor_known_ = false;
  drawn_known_ = false;
  attribute_ = -1;
}

void TerminalScreen::move_to(CellPosition p) {
  if (drawn_known_ && drawn_.column == p.column && drawn_.row == p.row) return;
  out_ += "\x1b[" + std::to_string(p.row + 1) + ";" + std::to_string(p.column + 1) + "H";
  drawn_ = p;
  drawn_known_ = true;
}

void TerminalScreen::use_attribute(std::uint8_t attribute) {
  if (attribute_ == attribute) return;
  out_ += attribute_sequence(attribute);
  attribute_ = attribute;
}

void TerminalScreen::set_cursor(CellPosition position) {
  cursor_ = position;
  cursor_known_ = true;
  move_to(position);
}

void TerminalScreen::write_cells(CellPosition at, std::string_view bytes, std::uint8_t attribute) {
  move_to(at);
  use_attribute(attribute);
  out_ += cp437_to_utf8(bytes);
  drawn_.column = at.column + static_cast<int>(bytes.size());
  drawn_known_ = drawn_.column < size_.width;
}

void TerminalScreen::scroll_up(std::uint8_t attribute) {
  // A line feed on the bottom row scrolls the way the terminal scrolls for
  // any program, so the top row goes into its history; the new row is then
  // erased in the background colour.
  move_to({0, size_.height - 1});
  use_attribute(attribute);
  out_ += "\n\x1b[2K";
  drawn_ = {0, size_.height - 1};
  drawn_known_ = true;
}

void TerminalScreen::fill(std::uint8_t attribute) {
  use_attribute(attribute);
  out_ += "\x1b[2J";
}

void TerminalScreen::show_cursor(bool visible) { out_ += visible ? "\x1b[?25h" : "\x1b[?25l"; }

void TerminalScreen::set_title(std::string_view title) {
  if (!title_saved_) {
    // Keep the terminal's own title so that it comes back at the end.
    out_ += "\x1b[22;0t";
    title_saved_ = true;
  }
  out_ += "\x1b]0;" + printable_title(title) + "\x07";
}

void TerminalScreen::flush() {
  if (!out_.empty()) {
    write_all(fd_, out_);
    out_.clear();
  }
  std::string reset = BaseReset;
  if (title_saved_) reset += "\x1b[23;0t";
  // A filled last row is still waiting for its scroll; do it on the way out
  // so that the shell does not write over that row.
  if (runtime_state().pending_scroll) reset += "\n";
  if (reset != reset_) {
    reset_ = reset;
    terminal_set_reset_bytes(reset_.c_str());
  }
}
