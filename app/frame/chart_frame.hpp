// The frame of the chart: labels, the dotted zero line, ticks on four sides
// and the border, drawn once on the white surface before the sweep.
#pragma once

#include "runtime/real.hpp"

void DrawChartFrame(Real damping_max);
