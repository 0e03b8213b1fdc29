#include "tools/plot/symbols.hpp"

#include <algorithm>
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
    case PointEnd::Settled:
      // A hexagon, flat on top: the calm of a regular orbit.
      for (int k = 0; k < 6; ++k) {
        const double angle = k * M_PI / 3;
        const double px = x + 1.2 * r * std::cos(angle);
        const double py = y + 1.2 * r * std::sin(angle);
        if (k == 0) {
          cairo_move_to(cr, px, py);
        } else {
          cairo_line_to(cr, px, py);
        }
      }
      cairo_close_path(cr);
      break;
    case PointEnd::Captured: {
      // An upright plus, filled: unlike the stroked diagonal cross of no
      // measurement.
      const double a = 1.3 * r;
      const double w = 0.45 * r;
      const double corners[12][2] = {{-w, -a}, {w, -a}, {w, -w}, {a, -w},  {a, w},   {w, w},
                                     {w, a},   {-w, a}, {-w, w}, {-a, w}, {-a, -w}, {-w, -w}};
      cairo_move_to(cr, x + corners[0][0], y + corners[0][1]);
      for (int k = 1; k < 12; ++k) cairo_line_to(cr, x + corners[k][0], y + corners[k][1]);
      cairo_close_path(cr);
      break;
    }
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

void draw_outline(cairo_t* cr, PointEnd end, double x, double y, double r, Rgb colour, double line) {
  marker_path(cr, end, x, y, r);
  set_colour(cr, colour);
  cairo_set_line_width(cr, line * 1.3);
  cairo_stroke(cr);
}

void draw_bound(cairo_t* cr, double x, double y, double length, double cap, Rgb colour, double line) {
  const double head = std::min(length * 0.45, cap * 2.4);
  cairo_move_to(cr, x - cap, y);
  cairo_line_to(cr, x + cap, y);
  cairo_move_to(cr, x, y);
  cairo_line_to(cr, x, y + length - head);
  set_colour(cr, colour);
  cairo_set_line_width(cr, line);
  cairo_stroke(cr);
  cairo_move_to(cr, x, y + length);
  cairo_line_to(cr, x - head * 0.6, y + length - head);
  cairo_line_to(cr, x + head * 0.6, y + length - head);
  cairo_close_path(cr);
  cairo_fill(cr);
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

void draw_box(cairo_t* cr, double x, double y, double r, Rgb colour, double line) {
  cairo_rectangle(cr, x - r, y - r, 2 * r, 2 * r);
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
