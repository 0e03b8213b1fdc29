#include "app/sweep.hpp"

#include <algorithm>
#include <cmath>

#include "app/column_pass.hpp"
#include "app/model/converged_estimate.hpp"
#include "app/model/gauss_deviate.hpp"
#include "app/model/model_globals.hpp"
#include "app/parameters.hpp"
#include "canvas/canvas.hpp"
#include "runtime/console.hpp"
#include "runtime/format.hpp"
#include "runtime/numeric.hpp"
#include "runtime/beep.hpp"
#include "runtime/clock.hpp"
#include "runtime/keys.hpp"

namespace {

constexpr std::int32_t IterationCeiling = 2000000000;
const Text EscapeKey = "\x1b";
constexpr std::int32_t MinimumTargetBlocks = 20;

// Puts a fresh, zero-filled array in place of the old one.
void redimension(ArrayDescriptor& array, std::int32_t upper) {
  array_erase(array);
  array_dim(array, {{0, upper}});
}

// Enough blocks for the batch-means standard error to be trusted, and below
// the target.
bool ErrorTargetMet(const BatchMeans& batch, Real target) {
  const std::optional<Real> error = batch_standard_error(batch);
  return batch.blocks >= MinimumTargetBlocks && error && *error < target;
}

}  // namespace

void ConditionColumn(Real* ref, Real* shadow) {
  const Real kick = widen(0.1f);
  const Real floor = widen(0.01f);
  const Real offset = Epsilon / square_root(StateSize);
  for (std::int32_t i = 1; i <= StateSize; ++i) {
    if (std::fabs(ref[i]) > 5) ref[i] = 5 * sign_of(ref[i]) + kick * GaussDeviate();
    if (std::fabs(ref[i]) < floor) ref[i] = floor * GaussDeviate();
    shadow[i] = ref[i] + offset;
  }
}

namespace {

ColumnPass NewColumnPass(SweepArrays& arrays) {
  ColumnPass pass;
  pass.ref = arrays.RefState.data;
  pass.shadow = arrays.ShadowState.data;
  pass.separation = arrays.Separation.data;
  pass.derivs = arrays.Derivs.data;
  pass.ring = arrays.EstimateRing.data;
  return pass;
}

}  // namespace

void ReportColumn(Real damping, const SweepCarry& carry, Real plus_minus) {
  console_print(ReportLine(damping, carry.Exponent, plus_minus, carry.MeanDivergence));
  console_newline();
}

bool MeasurementOptions(const SweepSettings& settings) {
  return settings.robust || settings.tangent || settings.passes > 0 || settings.target_error.has_value();
}

Real PlusMinusFigure(const ColumnResult& result, bool target_error) {
  return target_error && result.standard_error ? *result.standard_error : result.spread;
}

void PlotColumn(std::int32_t column, SweepCarry& carry) {
  const std::int32_t row = ExponentRow(carry.Exponent);
  if (carry.FirstPoint) {
    canvas_set_pixel(column, row, -1);
  } else {
    canvas_line_to(column, row, -1);
  }
  carry.FirstPoint = false;
  canvas_redraw();
}

bool ColumnSelected(std::int32_t column, const SweepSettings& settings, [[maybe_unused]] Real damping_max) {
  if (column > settings.start_column || column < std::max(LastColumn, settings.end_column)) return false;
  if ((FirstColumn - column) % settings.step != 0) return false;
  // The range is compared with the exact damping (x - 50) / 800, of which
  // ColumnDamping gives the rounded value (DampingMax(1) is always 1).
  return settings.damping.contains_column(column);
}

Real ColumnDamping(std::int32_t column, Real damping_max) {
  return static_cast<Real>(column - Margin) * damping_max / PlotWidth;
}

std::int32_t ExponentRow(Real exponent) {
  return to_integer(PlotHeight * 0.5L * (1 - exponent / ExponentRange));
}

Text ReportLine(Real damping, Real exponent, Real spread, Real mean_divergence) {
  Text line = format_number(damping, "  0.0000");
  line += format_number(exponent, "   0.0000;  -0.0000");
  line += '\xF1';  // plus-minus sign in the console's code page
  line += format_number(spread, "0.0000");
  line += format_number(mean_divergence, "  0.0000; -0.0000");
  return line;
}

SweepOutcome RunSweep(SweepArrays& arrays, SweepCarry& carry, const SweepSettings& settings) {
  const bool measured_mode = settings.robust || settings.tangent;
  const bool target = settings.target_error.has_value();
  Real tangent[StateSize + 1] = {};
  for (std::int32_t x = settings.start_column; x >= LastColumn; x -= settings.step) {
    if (!ColumnSelected(x, settings, arrays.DampingMax[1])) continue;
    FlockDamping() = ColumnDamping(x, arrays.DampingMax[1]);
    redimension(arrays.ShadowState, StateSize);
    redimension(arrays.Separation, StateSize);
    redimension(arrays.EstimateRing, BufferLength - 1);

    ColumnPass pass = NewColumnPass(arrays);
    pass.robust = settings.robust;
    if (settings.tangent) {
      pass.tangent = tangent;
      StartTangent(tangent);
    }
    ConditionColumn(pass.ref, pass.shadow);
    const double start = static_cast<double>(monotonic_seconds());
    std::optional<Real> extrapolated;  // with an error target, the column's last extrapolation
    ColumnEnd end;
    for (;;) {
      ++pass.Iteration;
      if (measured_mode) {
        AdvanceMeasured(pass, settings.measured_advance);
      } else {
        AdvanceBoth(pass, settings.advance);
      }
      if (monotonic_seconds() - start > settings.time_limit) {
        beep();
        end = ColumnEnd::TimeLimit;
        break;
      }
      const bool budget_spent = settings.passes > 0 && pass.Iteration >= settings.passes;
      const PassEnd pass_end = FinishPass(pass, carry.Exponent, carry.MeanDivergence);
      // A diverged pass ends here: no test, and not even the iteration ceiling.
      if (pass_end == PassEnd::Diverged) {
        if (!budget_spent) continue;
        end = ColumnEnd::PassLimit;
        break;
      }
      if (pass_end == PassEnd::Coinciding) {
        end = ColumnEnd::Coinciding;
        break;
      }
      // Every 1000 measured passes, from the 1999th on, the ring holds the
      // last 1000 running estimates in time order: a convergence test.
      const std::int32_t measured = pass.MeasuredSteps;
      if (pass_end == PassEnd::Measured && measured % BufferLength == BufferLength - 1) {
        const Real running = carry.Exponent;
        const bool test = measured >= BufferLength;
        // With an error target the exponent stays the running mean, the
        // value its standard error belongs to; the extrapolation is kept apart.
        if (test && target) {
          Real limit = 0;
          ConvergedEstimate(pass.ring, BufferLength - 1, limit, carry.Spread);
          extrapolated = limit;
        } else if (test) {
          ConvergedEstimate(pass.ring, BufferLength - 1, carry.Exponent, carry.Spread);
        }
        if (settings.history) {
          settings.history(HistoryPoint{x, measured, running, test, target && test ? *extrapolated : carry.Exponent,
                                        carry.Spread});
        }
        if (test) {
          if (key_poll() == EscapeKey) return SweepOutcome::Escaped;
          if (target ? ErrorTargetMet(pass.batch, *settings.target_error) : carry.Spread < SpreadTolerance) {
            end = ColumnEnd::Converged;
            break;
          }
        }
      }
      if (pass.Iteration > IterationCeiling) {
        console_print("Done!");
        console_newline();
        key_wait();
        end = ColumnEnd::IterationCeiling;
        break;
      }
      if (budget_spent) {
        end = ColumnEnd::PassLimit;
        break;
      }
    }
    ColumnResult result;
    result.column = x;
    result.damping = FlockDamping();
    result.exponent = carry.Exponent;
    result.spread = carry.Spread;
    result.mean_divergence = carry.MeanDivergence;
    result.end = end;
    result.passes = pass.Iteration;
    result.measured_passes = pass.MeasuredSteps;
    result.seconds = static_cast<double>(monotonic_seconds()) - start;
    result.standard_error = batch_standard_error(pass.batch);
    result.blocks = pass.batch.blocks;
    if (settings.robust) result.large_passes = pass.LargePasses;
    if (target) result.extrapolated = extrapolated;
    if (settings.tangent) {
      if (pass.MeasuredSteps > 0) result.tangent_exponent = TangentExponent(pass);
      result.tangent_standard_error = batch_standard_error(pass.tangent_batch);
    }
    ReportColumn(result.damping, carry, PlusMinusFigure(result, target));
    PlotColumn(x, carry);
    if (settings.column_done) settings.column_done(result);
  }
  return SweepOutcome::Completed;
}
