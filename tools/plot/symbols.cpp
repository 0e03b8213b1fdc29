#include "tools/plot/symbols.hpp"

#include <cmath>

namespace {

void marker_path(cairo_t* cr, PointEnd end, double x, double y, double r) {
  switch (end) {
    case PointEnd::Converged:
      cairo_new_sub_path(cr);
      cairo_arc(cr, x, y, r, 0, 2 * M_PI);
      break;
    case PointEnd::TimeLimit:
    case PointEnd::PassLimit: {
      const double d = end == PointEnd::TimeLimit ? 1 : -1;
      cairo_move_to(cr, x, y - d * r * 1.25);
      cairo_line_to(cr, x + r * 1.1, y + d * r * 0.75);
      cairo_line_to(cr, x - r * 1.1, y + d * r * 0.75);
      cairo_close_path(cr);
      break;
    }
    case PointEnd::Coinciding:
      cairo_move_to(cr, x, y - r * 1.3);
      cairo_line_to(cr, x + r * 1.3, y);
      cairo_line_to(cr, x, y + r * 1.3);
      cairo_line_to(cr, x - r * 1.3, y);
      cairo_close_path(cr);
      break;
    case PointEnd::IterationCeiling:
      cairo_rectangle(cr, x - r * 0.9, y - r * 0.9, r * 1.8, r * 1.8);
      break;
    case PointEnd::Stalled:
      // A five-pointed star, its inner corners at 0.45 of its reach.
      for (int k = 0; k < 10; ++k) {
        const double reach = (k % 2 == 0 ? 1.4 : 0.63) * r;
        const double angle = -M_PI / 2 + k * M_PI / 5;
        const double px = x + reach * std::cos(angle);
        const double py = y + reach * std::sin(angle);
        if (k == 0) {
          cairo_move_to(cr, px, py);
        } else {
          cairo_line_to(cr, px, py);
        }
      }
      cairo_close_path(cr);
      break;
    case PointEnd::NoMeasurement:
      cairo_move_to(cr, x - r, y - r);
      cairo_line_to(cr, x + r, y + r);
      cairo_move_to(cr, x - r, y + r);
      cairo_line_to(cr, x + r, y - r);
      break;
  }
}

}  // namespace

void set_colour(cairo_t* cr, Rgb c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void draw_marker(cairo_t* cr, PointEnd end, double x, double y, double r, Rgb colour, bool filled, double line) {
  marker_path(cr, end, x, y, r);
  if (end == PointEnd::NoMeasurement) {
    set_colour(cr, colour);
    cairo_set_line_width(cr, line * 1.3);
    cairo_stroke(cr);
  } else if (filled) {
    set_colour(cr, colour);
    cairo_fill(cr);
  } else {
    // White inside, so that a hollow marker reads as hollow over other points.
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill_preserve(cr);
    set_colour(cr, colour);
    cairo_set_line_width(cr, line * 1.3);
    cairo_stroke(cr);
  }
}

void draw_bar(cairo_t* cr, double x, double y_low, double y_high, double cap, Rgb colour, double line) {
  cairo_move_to(cr, x, y_low);
  cairo_line_to(cr, x, y_high);
  cairo_move_to(cr, x - cap, y_high);
  cairo_line_to(cr, x + cap, y_high);
  cairo_move_to(cr, x - cap, y_low);
  cairo_line_to(cr, x + cap, y_low);
  set_colour(cr, colour);
  cairo_set_line_width(cr, line);
  cairo_stroke(cr);
}

void draw_ring(cairo_t* cr, double x, double y, double r, Rgb colour, double line) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, r, 0, 2 * M_PI);
  set_colour(cr, colour);
  cairo_set_line_width(cr, line);
  cairo_stroke(cr);
}

void draw_tick(cairo_t* cr, double x, double bottom, double length, Rgb colour, double line) {
  cairo_move_to(cr, x, bottom);
  cairo_line_to(cr, x, bottom - length);
  set_colour(cr, colour);
  cairo_set_line_width(cr, line * 1.5);
  cairo_stroke(cr);
}
