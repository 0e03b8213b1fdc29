#include "app/measure/sweep.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/measure/parameters.hpp"

bool MeasurementOptions(const SweepSettings& settings) {
  return settings.robust || settings.tangent || settings.passes > 0 || settings.target_error.has_value() ||
         settings.flow;
}

bool ColumnSelected(std::int32_t column, const SweepSettings& settings) {
  if (column > settings.start_column || column < std::max(LastColumn, settings.end_column)) return false;
  if ((FirstColumn - column) % settings.step != 0) return false;
  // The range is compared with the exact damping (x - 50) / 800, of which
  // ColumnDamping gives the rounded value.
  return settings.damping.contains_column(column);
}

Real ColumnDamping(std::int32_t column) { return static_cast<Real>(column - Margin) * DampingMax / PlotWidth; }

SweepOutcome RunSweep(FlockState& ref, SweepCarry& carry, const SweepSettings& settings, ColumnHost& host,
                      const SweepObservers& observers) {
  std::vector<std::int32_t> columns;
  for (std::int32_t x = settings.start_column; x >= LastColumn; x -= settings.step) {
    if (ColumnSelected(x, settings)) columns.push_back(x);
  }
  if (settings.ascending) std::reverse(columns.begin(), columns.end());
  for (const std::int32_t x : columns) {
    const FlockModel model{ColumnDamping(x)};
    const std::optional<ColumnResult> result =
        settings.run_column ? settings.run_column(x, model, ref, carry, settings, host, observers.history)
                            : RunColumn(x, model, ref, carry, settings, host, observers.history);
    if (!result) return SweepOutcome::Escaped;
    carry = SweepCarry{result->exponent, result->mean_divergence, result->spread};
    for (const ColumnObserver& observe : observers.columns) observe(*result);
  }
  return SweepOutcome::Completed;
}
