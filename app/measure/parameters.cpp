#include "app/measure/parameters.hpp"

#include "runtime/numeric.hpp"

std::int32_t ExponentRow(Real exponent) {
  return to_integer(PlotHeight * 0.5L * (1 - exponent / ExponentRange));
}
