#include "app/frame/chart_frame.hpp"

#include "app/measure/parameters.hpp"
#include "canvas/fonts.hpp"
#include "canvas/primitives.hpp"
#include "canvas/text.hpp"
#include "runtime/console.hpp"
#include "runtime/console_window.hpp"
#include "runtime/format.hpp"
#include "runtime/numeric.hpp"
#include "runtime/text.hpp"

namespace {

constexpr int Bold = 1;
constexpr int Grey = 0x808080;
constexpr int Dot = 2;
constexpr int Solid = 0;

Text label_text(Real value) { return string_trim_right(string_trim_left(format_number(value, "0.0"))); }

void print_at(Real x, Real y, const Text& text) {
  canvas_move_to(x, y);
  canvas_print(text);
  canvas_newline();
}

void select_new_font(const char* face, float points) { canvas_set_font(font_new(face, points, Bold, 0, 0, 0)); }

}  // namespace

void DrawChartFrame(Real damping_max) {
  select_new_font("MS Sans Serif", 14);

  Text label;
  string_assign(label, label_text(ExponentRange));
  TextSize size = canvas_text_size(label);
  print_at(Margin - 5 - size.width, 0, label);

  // The axis name: "l" in the Symbol face is a Greek lambda.
  canvas_move_to(Margin - 24, PlotHeight / 2 - 15);
  select_new_font("symbol", 18);
  canvas_print("l");
  canvas_newline();
  select_new_font("MS Sans Serif", 14);

  string_assign(label, label_text(-ExponentRange));
  size = canvas_text_size(label);
  print_at(Margin - 5 - size.width, PlotHeight - size.height, label);

  print_at(Margin, PlotHeight, "0");
  print_at(PlotWidth / 2 + Margin - 9, PlotHeight, "bo");

  string_assign(label, label_text(damping_max));
  size = canvas_text_size(label);
  print_at(PlotWidth + Margin - size.width, PlotHeight, label);

  // Zero line: the row on which an exponent of 0 is plotted.
  canvas_set_style(Dot);
  canvas_move_to(Margin, PlotHeight / 2);
  canvas_line_to(PlotWidth + Margin, PlotHeight / 2, Grey);
  canvas_set_style(Solid);

  const Real tick_y = static_cast<Real>(PlotHeight) / 36;
  for (std::int32_t i = 1; i <= TicksX - 1; ++i) {
    const std::int32_t xg = to_integer(static_cast<Real>(PlotWidth) * i / TicksX + Margin);
    canvas_move_to(xg, 0);
    canvas_line_to(xg, tick_y, DefaultColour);
    canvas_move_to(xg, PlotHeight);
    canvas_line_to(xg, PlotHeight - tick_y, DefaultColour);
  }
  const Real tick_x = static_cast<Real>(PlotWidth) / 36;
  for (std::int32_t i = 1; i <= TicksY - 1; ++i) {
    const std::int32_t yg = to_integer(static_cast<Real>(PlotHeight) * i / TicksY);
    canvas_move_to(Margin, yg);
    canvas_line_to(tick_x + Margin, yg, DefaultColour);
    canvas_move_to(PlotWidth + Margin, yg);
    canvas_line_to(PlotWidth + Margin - tick_x, yg, DefaultColour);
  }

  canvas_box(Margin, 0, PlotWidth + Margin, PlotHeight + 1, 0, DefaultColour, NoColour, 0);
  console_to_front();
}
