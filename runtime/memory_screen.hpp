// A character-cell screen in memory: what the console would show, for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/cell_screen.hpp"

struct Cell {
  std::uint8_t byte;
  std::uint8_t attribute;
};

class MemoryScreen : public CellScreen {
 public:
  // A screen of spaces with attribute 7, the cursor at the top left.
  MemoryScreen(int width, int height);

  CellSize size() override { return {width_, height_}; }
  CellPosition cursor() override { return cursor_; }
  void set_cursor(CellPosition position) override;
  void write_cells(CellPosition at, std::string_view bytes, std::uint8_t attribute) override;
  void scroll_up(std::uint8_t attribute) override;
  void fill(std::uint8_t attribute) override;
  void show_cursor(bool visible) override { cursor_visible_ = visible; }
  void set_title(std::string_view title) override;

  // Changes the size as a resized terminal would: the cells are kept where
  // they fit, new ones are blank, the cursor is pulled inside.
  void resize(int width, int height);

  const Cell& cell(int column, int row) const { return cells_[static_cast<std::size_t>(row * width_ + column)]; }
  // The bytes of a row, trailing spaces included.
  std::string row_text(int row) const;
  bool cursor_visible() const { return cursor_visible_; }
  // Every title that was set, in order.
  const std::vector<std::string>& titles() const { return titles_; }
  // Called with each title as it is set (a test can pass it on to a window).
  std::function<void(std::string_view)> on_title;
  // Number of scrolls done so far.
  int scrolls() const { return scrolls_; }

 private:
  int width_;
  int height_;
  std::vector<Cell> cells_;
  CellPosition cursor_{0, 0};
  bool cursor_visible_ = true;
  std::vector<std::string> titles_;
  int scrolls_ = 0;
};
