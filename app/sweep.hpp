// The sweep: one damping value per column of the plot area, right to left.
// For each column it measures the largest Lyapunov exponent with a reference
// and a shadow trajectory, prints a report line and extends the curve.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "app/column_pass.hpp"
#include "app/column_result.hpp"
#include "app/damping_range.hpp"
#include "runtime/array.hpp"
#include "runtime/real.hpp"
#include "runtime/text.hpp"

// The arrays of the main procedure that the sweep works on.
struct SweepArrays {
  ArrayDescriptor& RefState;
  ArrayDescriptor& Derivs;
  ArrayDescriptor& ShadowState;
  ArrayDescriptor& Separation;
  ArrayDescriptor& DampingMax;
  ArrayDescriptor& EstimateRing;
};

// Values that outlive a column: reported and plotted as they stand when a
// column ends, never reset between columns.
struct SweepCarry {
  Real Exponent = 0;
  Real MeanDivergence = 0;
  Real Spread = 0;
  bool FirstPoint = true;
};

// A point of a column's convergence history, every 1000 measured passes:
// the running exponent, and where a convergence test was made there, its
// extrapolated value and spread.
struct HistoryPoint {
  std::int32_t column;
  std::int32_t measured_passes;
  Real running_exponent;
  bool tested;
  Real extrapolated;
  Real spread;
};

struct SweepSettings {
  int step = 1;                    // every step-th column from the right
  std::int32_t start_column = 849; // the first column evaluated, on the step grid
  std::int32_t end_column = 51;    // no column left of it is evaluated
  DampingRange damping;            // only columns with damping in this range
  double time_limit = 100.0;       // elapsed seconds per column
  PassAdvance advance;             // empty: both steps on this thread, one after the other
  // The measurement options; with none of them the run is the plain sweep.
  bool robust = false;             // the shadow follows the reference's map; large passes measured
  bool tangent = false;            // a second estimate from the tangent dynamics
  std::int32_t passes = 0;         // a column ends after this many passes; 0: no budget
  std::optional<Real> target_error;  // converged when the standard error falls below it
  MeasuredAdvance measured_advance;  // steps of a pass with robust or tangent; empty: this thread
  std::function<void(const ColumnResult&)> column_done;  // after the curve point
  std::function<void(const HistoryPoint&)> history;     // every 1000 measured passes
};

enum class SweepOutcome { Completed, Escaped };

// The damping that belongs to a column: (x - Margin) * DampingMax(1) / PlotWidth.
Real ColumnDamping(std::int32_t column, Real damping_max);
// The chart row of an exponent, not clamped.
std::int32_t ExponentRow(Real exponent);
// The report line of a column, exactly as printed (without the new line).
Text ReportLine(Real damping, Real exponent, Real spread, Real mean_divergence);

// The columns a sweep with these settings evaluates, right to left.
bool ColumnSelected(std::int32_t column, const SweepSettings& settings, Real damping_max);

// Keeps the reference state inside the region where the model is tame
// (components beyond 5 pulled back, those below 0.01 replaced by small
// random values) and starts the shadow Epsilon away from it, along the
// diagonal.
void ConditionColumn(Real* ref, Real* shadow);

// Whether a run uses any of the measurement options, and so writes the
// extended results file.
bool MeasurementOptions(const SweepSettings& settings);

// The figure after the plus-minus sign: the spread, or with an error target
// the column's standard error where it has one.
Real PlusMinusFigure(const ColumnResult& result, bool target_error);

// Prints a column's report line and extends the curve to its point.
void ReportColumn(Real damping, const SweepCarry& carry, Real plus_minus);
void PlotColumn(std::int32_t column, SweepCarry& carry);

SweepOutcome RunSweep(SweepArrays& arrays, SweepCarry& carry, const SweepSettings& settings);
