// The built-in parameters of a run.
#pragma once

#include <cstdint>

#include "app/model/flock_model.hpp"
#include "runtime/real.hpp"

// Length of the separation between the two trajectories, in single precision.
inline const Real Epsilon = widen(1e-8f);
inline const Real TimeStep = 0.01L;
constexpr std::int32_t BufferLength = 1000;
inline const Real ExponentRange = 2.0L;
// The damping of the rightmost edge of the plot area.
constexpr Real DampingMax = 1.0L;
// A column ends when the spread of its recent estimates falls below this.
inline const Real SpreadTolerance = widen(0.001f);
constexpr std::int32_t PlotWidth = 800;
constexpr std::int32_t PlotHeight = 600;
constexpr std::int32_t Margin = 50;
constexpr std::int32_t TicksX = 10;
constexpr std::int32_t TicksY = 10;

// The chart row of an exponent, not clamped: where the curve puts a column's
// point, and the row a checkpoint records with it.
std::int32_t ExponentRow(Real exponent);

// The columns of the plot area that are evaluated, right to left.
constexpr std::int32_t FirstColumn = Margin + PlotWidth - 1;  // 849
constexpr std::int32_t LastColumn = Margin + 1;               // 51

// Default time limit of one column, in seconds of elapsed time.
constexpr double ColumnTimeLimit = 100.0;

// The number of columns evaluated, FirstColumn down to LastColumn.
constexpr std::int32_t ColumnCount = FirstColumn - LastColumn + 1;  // 799
