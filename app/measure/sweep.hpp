// The sweep: one damping value per column of the plot area, right to left.
// Each column is measured by RunColumn and its result handed to the
// sweep's observers: the report line, the curve, the results file and the
// checkpoint.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "app/measure/column.hpp"
#include "app/measure/column_host.hpp"
#include "app/measure/column_result.hpp"
#include "app/measure/sweep_settings.hpp"
#include "app/model/flock_model.hpp"
#include "runtime/real.hpp"

// The damping that belongs to a column: (x - Margin) * DampingMax / PlotWidth.
Real ColumnDamping(std::int32_t column);

// The columns a sweep with these settings evaluates, right to left.
bool ColumnSelected(std::int32_t column, const SweepSettings& settings);

// Who hears of the sweep's progress: every finished column, in order, and
// (when given) every point of a column's convergence history.
struct SweepObservers {
  std::vector<ColumnObserver> columns;
  HistoryObserver history;
};

enum class SweepOutcome { Completed, Escaped };

// Runs the selected columns from settings.start_column leftwards, each from
// the state `ref` the one before it left, reporting what `carry` holds where
// a column measures nothing; both are left as the last column ended.
SweepOutcome RunSweep(FlockState& ref, SweepCarry& carry, const SweepSettings& settings, ColumnHost& host,
                      const SweepObservers& observers);
