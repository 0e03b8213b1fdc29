// Fonts on the current canvas: the numbered fonts of the font table, and
// selecting one into the canvas.
#pragma once

#include "canvas/font_table.hpp"

// Selects a slot into the current canvas, making its font on first use
// (run-time error 5 when it cannot be made). An unknown slot does nothing.
void canvas_set_font(int slot);
