#include "app/sweep.hpp"

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

// Puts a fresh, zero-filled array in place of the old one.
void redimension(ArrayDescriptor& array, std::int32_t upper) {
  array_erase(array);
  array_dim(array, {{0, upper}});
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

void ReportColumn(Real damping, const SweepCarry& carry) {
  console_print(ReportLine(damping, carry.Exponent, carry.Spread, carry.MeanDivergence));
  console_newline();
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
  if (column > settings.start_column || column < LastColumn) return false;
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
  for (std::int32_t x = settings.start_column; x >= LastColumn; x -= settings.step) {
    if (!ColumnSelected(x, settings, arrays.DampingMax[1])) continue;
    FlockDamping() = ColumnDamping(x, arrays.DampingMax[1]);
    redimension(arrays.ShadowState, StateSize);
    redimension(arrays.Separation, StateSize);
    redimension(arrays.EstimateRing, BufferLength - 1);

    ColumnPass pass = NewColumnPass(arrays);
    ConditionColumn(pass.ref, pass.shadow);
    const double start = static_cast<double>(monotonic_seconds());
    ColumnEnd end;
    for (;;) {
      ++pass.Iteration;
      AdvanceBoth(pass, settings.advance);
      if (monotonic_seconds() - start > settings.time_limit) {
        beep();
        end = ColumnEnd::TimeLimit;
        break;
      }
      const PassEnd pass_end = FinishPass(pass, carry.Exponent, carry.MeanDivergence);
      // A diverged pass ends here: no test, and not even the iteration ceiling.
      if (pass_end == PassEnd::Diverged) continue;
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
        if (test) ConvergedEstimate(pass.ring, BufferLength - 1, carry.Exponent, carry.Spread);
        if (settings.history) settings.history(HistoryPoint{x, measured, running, test, carry.Exponent, carry.Spread});
        if (test) {
          if (key_poll() == EscapeKey) return SweepOutcome::Escaped;
          if (carry.Spread < SpreadTolerance) {
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
    }
    const Real damping = FlockDamping();
    ReportColumn(damping, carry);
    PlotColumn(x, carry);
    if (settings.column_done) {
      settings.column_done(ColumnResult{x, damping, carry.Exponent, carry.Spread, carry.MeanDivergence, end,
                                        pass.Iteration, pass.MeasuredSteps,
                                        static_cast<double>(monotonic_seconds()) - start,
                                        batch_standard_error(pass.batch), pass.batch.blocks});
    }
  }
  return SweepOutcome::Completed;
}
