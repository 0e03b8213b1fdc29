#include "app/sweep.hpp"

#include <cmath>

#include "app/batch_means.hpp"
#include "app/model/converged_estimate.hpp"
#include "app/model/divergence.hpp"
#include "app/model/gauss_deviate.hpp"
#include "app/model/integrator.hpp"
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

// Keeps the reference state inside the region where the model is tame and
// starts the shadow Epsilon away from it, along the diagonal.
void condition(Real* ref, Real* shadow) {
  const Real kick = widen(0.1f);
  const Real floor = widen(0.01f);
  const Real offset = Epsilon / square_root(StateSize);
  for (std::int32_t i = 1; i <= StateSize; ++i) {
    if (std::fabs(ref[i]) > 5) ref[i] = 5 * sign_of(ref[i]) + kick * GaussDeviate();
    if (std::fabs(ref[i]) < floor) ref[i] = floor * GaussDeviate();
    shadow[i] = ref[i] + offset;
  }
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

bool ColumnSelected(std::int32_t column, const SweepSettings& settings, Real damping_max) {
  if (column > settings.start_column || column < LastColumn) return false;
  if ((FirstColumn - column) % settings.step != 0) return false;
  const Real damping = ColumnDamping(column, damping_max);
  return damping >= settings.damping_low && damping <= settings.damping_high;
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
  const Real EpsilonSquared = Epsilon * Epsilon;
  for (std::int32_t x = settings.start_column; x >= LastColumn; x -= settings.step) {
    if (!ColumnSelected(x, settings, arrays.DampingMax[1])) continue;
    FlockDamping() = ColumnDamping(x, arrays.DampingMax[1]);
    redimension(arrays.ShadowState, StateSize);
    redimension(arrays.Separation, StateSize);
    redimension(arrays.EstimateRing, BufferLength - 1);

    Real* ref = arrays.RefState.data;
    Real* shadow = arrays.ShadowState.data;
    Real* separation = arrays.Separation.data;
    Real* derivs = arrays.Derivs.data;
    condition(ref, shadow);

    std::int32_t Iteration = 0;
    std::int32_t MeasuredSteps = 0;
    Real LogSum = 0;
    Real DivergenceSum = 0;
    BatchMeans batch;
    const double start = static_cast<double>(monotonic_seconds());
    ColumnEnd end;
    for (;;) {
      ++Iteration;
      if (settings.advance) {
        settings.advance(ref, shadow);
      } else {
        StepAdaptive(ref, derivs, StateSize, TimeStep, ref);
        StepAdaptive(shadow, derivs, StateSize, TimeStep, shadow);
      }
      if (monotonic_seconds() - start > settings.time_limit) {
        beep();
        end = ColumnEnd::TimeLimit;
        break;
      }
      Real S = 0;
      for (std::int32_t i = 1; i <= StateSize; ++i) {
        separation[i] = shadow[i] - ref[i];
        S = S + separation[i] * separation[i];
      }
      // The squared length is compared with Epsilon itself: a separation
      // beyond 1e-4 is left to grow, unmeasured.
      if (S > Epsilon) continue;
      const Real GrowthRatio = square_root(S / EpsilonSquared);
      if (GrowthRatio <= 0) {
        end = ColumnEnd::Coinciding;
        break;
      }
      // Back to distance Epsilon on the opposite side of the reference.
      for (std::int32_t i = 1; i <= StateSize; ++i) {
        shadow[i] = round_to_digits(ref[i] - separation[i] / GrowthRatio, 99);
      }
      if (Iteration >= BufferLength) {
        const Real log_growth = natural_log(GrowthRatio);
        LogSum = LogSum + log_growth;
        ++MeasuredSteps;
        batch_add(batch, log_growth / TimeStep);
        AddDivergenceSample(ref, Epsilon, DivergenceSum);
        carry.Exponent = LogSum / (MeasuredSteps * TimeStep);
        carry.MeanDivergence = DivergenceSum / MeasuredSteps;
        arrays.EstimateRing[MeasuredSteps % BufferLength] = carry.Exponent;
        // Every 1000 measured passes, from the 1999th on, the ring holds the
        // last 1000 running estimates in time order: a convergence test.
        if (MeasuredSteps % BufferLength == BufferLength - 1) {
          const Real running = carry.Exponent;
          const bool test = MeasuredSteps >= BufferLength;
          if (test) ConvergedEstimate(arrays.EstimateRing.data, BufferLength - 1, carry.Exponent, carry.Spread);
          if (settings.history) settings.history(HistoryPoint{x, MeasuredSteps, running, test, carry.Exponent, carry.Spread});
          if (test) {
            if (key_poll() == EscapeKey) return SweepOutcome::Escaped;
            if (carry.Spread < SpreadTolerance) {
              end = ColumnEnd::Converged;
              break;
            }
          }
        }
      }
      if (Iteration > IterationCeiling) {
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
      settings.column_done(ColumnResult{x, damping, carry.Exponent, carry.Spread, carry.MeanDivergence, end, Iteration,
                                        MeasuredSteps, static_cast<double>(monotonic_seconds()) - start, batch_standard_error(batch),
                                        batch.blocks});
    }
  }
  return SweepOutcome::Completed;
}
