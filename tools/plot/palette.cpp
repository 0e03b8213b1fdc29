#include "tools/plot/palette.hpp"

#include <cmath>

Rgb series_colour(std::size_t index) {
  static const Rgb palette[] = {{0, 114 / 255.0, 178 / 255.0},          {213 / 255.0, 94 / 255.0, 0},
                                {0, 158 / 255.0, 115 / 255.0},          {204 / 255.0, 121 / 255.0, 167 / 255.0},
                                {230 / 255.0, 159 / 255.0, 0},          {86 / 255.0, 180 / 255.0, 233 / 255.0},
                                {0, 0, 0}};
  constexpr std::size_t size = sizeof palette / sizeof palette[0];
  if (index < size) return palette[index];
  // Hue a golden angle further on for each file beyond the palette.
  const double h = std::fmod((index - size) * 137.508 + 20, 360.0) / 60;
  const double v = 0.75;
  const double c = v * 0.8;
  const double x = c * (1 - std::abs(std::fmod(h, 2.0) - 1));
  const double m = v - c;
  const int sector = static_cast<int>(h);
  const double rgb[6][3] = {{c, x, 0}, {x, c, 0}, {0, c, x}, {0, x, c}, {x, 0, c}, {c, 0, x}};
  return {rgb[sector][0] + m, rgb[sector][1] + m, rgb[sector][2] + m};
}
