// Console output into a file or a pipe. A stream is a screen of one row that
// never fills: cells go out as text, a scroll is a line feed, and clearing,
// positioning and titles do nothing.
#pragma once

#include "runtime/cell_screen.hpp"

class StreamScreen : public CellScreen {
 public:
  explicit StreamScreen(int fd) : fd_(fd) {}

  CellSize size() override;
  CellPosition cursor() override { return cursor_; }
  void set_cursor(CellPosition position) override { cursor_ = position; }
  void write_cells(CellPosition at, std::string_view bytes, std::uint8_t attribute) override;
  void scroll_up(std::uint8_t attribute) override;
  void fill(std::uint8_t) override {}
  void show_cursor(bool) override {}
  void set_title(std::string_view) override {}
  bool is_stream() const override { return true; }

 private:
  int fd_;
  CellPosition cursor_{0, 0};
};

// Writes all of `bytes` to `fd`, going on after interruptions; gives up
// quietly when the descriptor fails (console output reports no errors).
void write_all(int fd, std::string_view bytes);
