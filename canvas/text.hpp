// Text on the current canvas, in its selected font: drawn with its top-left
// corner at the current position, in the foreground colour, on the
// background colour (nothing when it is transparent).
#pragma once

#include <string_view>

#include "runtime/real.hpp"

// Draws the text and moves the position to its end. Empty text does nothing.
void canvas_print(std::string_view text);

// Moves the position to x = 0, one line down (character height plus
// external leading).
void canvas_newline();

struct TextSize {
  Real width;
  Real height;
};

// The advance width and cell height of the text (in world units when a scale
// is set); 0 and 0 with no current canvas.
TextSize canvas_text_size(std::string_view text);
