// The colours of the figure's results files.
#pragma once

#include <cstddef>

struct Rgb {
  double r = 0, g = 0, b = 0;  // 0 to 1
};

// The colour of the index-th results file: a palette that stays apart for
// colour-blind readers, then hues a golden angle apart.
Rgb series_colour(std::size_t index);
