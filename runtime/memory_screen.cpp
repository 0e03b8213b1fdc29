#include "runtime/memory_screen.hpp"

#include <algorithm>
#include <stdexcept>

namespace {
constexpr Cell Blank{' ', 7};
}

MemoryScreen::MemoryScreen(int width, int height)
    : width_(width), height_(height), cells_(static_cast<std::size_t>(width * height), Blank) {}

void MemoryScreen::set_cursor(CellPosition position) {
  if (position.column < 0 || position.column >= width_ || position.row < 0 || position.row >= height_) {
    throw std::out_of_range("cursor outside the screen");
  }
  cursor_ = position;
}

void MemoryScreen::write_cells(CellPosition at, std::string_view bytes, std::uint8_t attribute) {
  if (at.row < 0 || at.row >= height_ || at.column < 0 ||
      at.column + static_cast<long long>(bytes.size()) > width_) {
    throw std::out_of_range("cells written outside the row");
  }
  Cell* row = &cells_[static_cast<std::size_t>(at.row * width_)];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    row[at.column + static_cast<int>(i)] = Cell{static_cast<std::uint8_t>(bytes[i]), attribute};
  }
}

void MemoryScreen::scroll_up(std::uint8_t attribute) {
  std::copy(cells_.begin() + width_, cells_.end(), cells_.begin());
  std::fill(cells_.end() - width_, cells_.end(), Cell{' ', attribute});
  ++scrolls_;
}

void MemoryScreen::fill(std::uint8_t attribute) { std::fill(cells_.begin(), cells_.end(), Cell{' ', attribute}); }

void MemoryScreen::set_title(std::string_view title) {
  titles_.emplace_back(title);
  if (on_title) on_title(title);
}

void MemoryScreen::resize(int width, int height) {
  std::vector<Cell> cells(static_cast<std::size_t>(width * height), Blank);
  for (int r = 0; r < std::min(height, height_); ++r) {
    for (int c = 0; c < std::min(width, width_); ++c) cells[static_cast<std::size_t>(r * width + c)] = cell(c, r);
  }
  cells_ = std::move(cells);
  width_ = width;
  height_ = height;
  cursor_ = {std::min(cursor_.column, width - 1), std::min(cursor_.row, height - 1)};
}

std::string MemoryScreen::row_text(int row) const {
  std::string text;
  for (int c = 0; c < width_; ++c) text.push_back(static_cast<char>(cell(c, row).byte));
  return text;
}
