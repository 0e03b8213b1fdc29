// Drawing operations on the calling thread's current canvas. With no current
// canvas (never attached, or its window is gone) each does nothing.
//
// Coordinates are rounded to the nearest pixel, halves to even, unless a
// scale is set; `relative` 1 takes them as offsets from the current
// position. The colour DefaultColour stands for the canvas's default for
// the slot, NoColour for none.
#pragma once

#include <cstdint>

#include "canvas/colours.hpp"
#include "runtime/real.hpp"

void canvas_move_to(Real x, Real y, int relative = 0);
// Line from the current position to (x, y), end pixel excluded, in the pen
// style; (x, y) becomes the current position.
void canvas_line_to(Real x, Real y, int colour, int relative = 0);
// One pixel; (x, y) becomes the current position.
void canvas_set_pixel(Real x, Real y, int colour, int relative = 0);
// Rectangle (corner 0), rounded rectangle (corner 1..100: the corner size in
// percent of the shorter side; larger values are 100) or ellipse (corner
// -2147483648) inside the two corners, right and bottom excluded. Outline
// DefaultColour is the foreground; fill DefaultColour is the outline colour,
// NoColour no fill; fill style 0 solid, 1..6 hatched (horizontal, vertical,
// \, /, cross, diagonal cross).
void canvas_box(float x1, float y1, float x2, float y2, int corner, int outline, int fill, int fill_style);
// Fills the whole surface (DefaultColour is the background, which may be
// transparent) and moves the position to (0, 0).
void canvas_clear(int colour, int fill_style);
// 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot; anything else solid.
void canvas_set_style(int style);
// DefaultColour is the window-text colour.
void canvas_set_foreground(int colour);
// DefaultColour is the 3-D face colour; NoColour makes the text background
// transparent.
void canvas_set_background(int colour);
// Shows world (x1, y1) at the left/top and (x2, y2) at the right/bottom edge.
void canvas_set_scale(Real x1, Real y1, Real x2, Real y2);
