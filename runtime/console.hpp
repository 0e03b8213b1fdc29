// The console: a character-cell screen with the runtime's own cursor,
// wrapping and scrolling rules, and the console window's title.
//
// Text is written at the cursor byte by byte, one cell each, without
// interpreting control bytes. A row that fills up moves the cursor to the
// start of the next row; when the last row fills, the scroll it calls for
// waits until more output comes (the pending-scroll flag of RuntimeState).
#pragma once

#include <string_view>

#include "runtime/cell_screen.hpp"
#include "runtime/text.hpp"

void console_print(std::string_view text);
// Column 1 of the next row, scrolling when the cursor is on the last row.
void console_newline();
// Every cell a space in the current attribute, the cursor at (1, 1).
void console_clear();

// The console window's title: the absolute path of the running program until
// a title has been set.
Text console_get_title();
void console_set_title(std::string_view title);

// The cursor rule, 1-based: a column outside 1..W or a row outside 1..H keeps
// the current one; the pending scroll is dropped.
void console_set_cursor(int column, int row);
// The cursor, 1-based.
CellPosition console_cursor();

// Background * 16 + foreground of RuntimeState: the attribute of all output.
std::uint8_t console_attribute();

// The device the console writes to. Chosen at first use: the terminal when
// standard output is one (and not TERM=dumb), else a stream. `console_install` puts another in
// place (tests use a MemoryScreen); nullptr goes back to the automatic
// choice. The title is forgotten either way.
CellScreen& console_screen();
void console_install(CellScreen* screen);
// Tells the device in use, if any, that its cursor may have moved.
void console_forget_cursor();
