// The console on a terminal: cells drawn with VT escape sequences, bytes
// shown as their code page 437 glyphs in UTF-8, the attribute as colours.
// The runtime keeps its own cursor; the terminal's cursor is put there after
// every operation.
#pragma once

#include <string>

#include "runtime/cell_screen.hpp"

class TerminalScreen : public CellScreen {
 public:
  // Writes to `fd`, a terminal. Sets the bytes that restore the terminal's
  // colours and cursor when the program ends.
  explicit TerminalScreen(int fd);

  CellSize size() override;
  CellPosition cursor() override;
  void set_cursor(CellPosition position) override;
  void write_cells(CellPosition at, std::string_view bytes, std::uint8_t attribute) override;
  void scroll_up(std::uint8_t attribute) override;
  void fill(std::uint8_t attribute) override;
  void show_cursor(bool visible) override;
  void set_title(std::string_view title) override;
  void flush() override;
  void forget_cursor() override;

 private:
  void move_to(CellPosition position);
  void use_attribute(std::uint8_t attribute);
  bool ask_cursor(CellPosition& position);

  int fd_;
  std::string out_;
  CellSize size_{0, 0};
  // The runtime's cursor; unknown at first and after a resize or a program
  // started from here, then asked of the terminal.
  CellPosition cursor_{0, 0};
  bool cursor_known_ = false;
  // Where the terminal's own cursor is, when known: after writing up to the
  // last column a terminal waits to wrap, and its position is not trusted.
  CellPosition drawn_{0, 0};
  bool drawn_known_ = false;
  int attribute_ = -1;  // attribute the terminal draws with, -1 unknown
  bool title_saved_ = false;
  std::string reset_;
};

// The SGR sequence that draws `attribute` (background * 16 + foreground, in
// the console's colour numbering): 7 is the terminal's own default colours.
std::string attribute_sequence(std::uint8_t attribute);

// `title` made safe inside a title sequence: control characters and bytes
// that are not UTF-8 become "?".
std::string printable_title(std::string_view title);
