// The device the console writes to: a screen of W x H character cells, each a
// byte and an attribute, with a cursor. The console's own rules (wrapping, the
// pending scroll, the cursor rule) sit on top of it; a device only does what
// it is told, at 0-based positions that are inside its current size.
#pragma once

#include <cstdint>
#include <string_view>

struct CellPosition {
  int column;
  int row;
};

struct CellSize {
  int width;
  int height;
};

class CellScreen {
 public:
  virtual ~CellScreen() = default;
  // The current size, read anew each time (a terminal can be resized).
  virtual CellSize size() = 0;
  // The cursor, inside the current size.
  virtual CellPosition cursor() = 0;
  virtual void set_cursor(CellPosition position) = 0;
  // Writes `bytes` as cells of row `at.row` from column `at.column`; they all
  // fit in the row. Bytes are not interpreted: every one becomes one cell.
  virtual void write_cells(CellPosition at, std::string_view bytes, std::uint8_t attribute) = 0;
  // Moves every row up by one; the freed bottom row becomes spaces.
  virtual void scroll_up(std::uint8_t attribute) = 0;
  // Every cell a space with `attribute`; the cursor stays.
  virtual void fill(std::uint8_t attribute) = 0;
  virtual void show_cursor(bool visible) = 0;
  virtual void set_title(std::string_view title) = 0;
  // Sends what has been queued up; the console calls it once per operation.
  virtual void flush() {}
  // Someone else may have written to the device (a program started from
  // here): its cursor is to be found out anew before the next use.
  virtual void forget_cursor() {}
  // A plain stream has no window: no title, no window to move.
  virtual bool is_stream() const { return false; }
};
