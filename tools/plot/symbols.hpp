// The symbols of the figure on a Cairo context: the marker of each way a
// column ended and the error bar, in a file's colour.
#pragma once

#include <cairo.h>

#include "tools/plot/palette.hpp"
#include "tools/plot/series.hpp"

void set_colour(cairo_t* cr, Rgb colour);

// The marker of `end` centred on (x, y), `r` its size: filled, or hollow
// (white inside, so that it reads as hollow over other points); the cross of
// no measurement is only stroked. `line` is the line width.
void draw_marker(cairo_t* cr, PointEnd end, double x, double y, double r, Rgb colour, bool filled, double line);

// The outline of `end`'s marker alone, not filled: a mark that shows what
// lies under it.
void draw_outline(cairo_t* cr, PointEnd end, double x, double y, double r, Rgb colour, double line);

// An upper bound at (x, y): a cap `cap` wide on either side and an arrow
// `length` down from it.
void draw_bound(cairo_t* cr, double x, double y, double length, double cap, Rgb colour, double line);

// A vertical error bar from y_low to y_high at x, with caps `cap` wide on
// either side.
void draw_bar(cairo_t* cr, double x, double y_low, double y_high, double cap, Rgb colour, double line);

// A ring of radius r around (x, y): a transient column's mark.
void draw_ring(cairo_t* cr, double x, double y, double r, Rgb colour, double line);
// A square of half side r around (x, y): a regular column's mark.
void draw_box(cairo_t* cr, double x, double y, double r, Rgb colour, double line);
// A tick `length` up from the frame's bottom at x: a captured column's mark.
void draw_tick(cairo_t* cr, double x, double bottom, double length, Rgb colour, double line);
