// One column of the sweep: the largest Lyapunov exponent at one damping,
// measured with a reference and a shadow trajectory until the column
// converges or something else ends it.
#pragma once

#include <cstdint>
#include <optional>

#include "app/measure/column_host.hpp"
#include "app/measure/column_result.hpp"
#include "app/measure/sweep_settings.hpp"
#include "app/model/flock_model.hpp"
#include "runtime/random.hpp"

// Every body at a random position (standard normal coordinates from the
// program's generator) and at rest: the sweep's first state, and the state
// a column goes on from after a capture.
FlockState FreshState(RandomState* generator = nullptr);

// Keeps the reference state inside the region where the model is tame
// (components beyond 5 pulled back, those below 0.01 replaced by small
// random values) and starts the shadow Epsilon away from it, along the
// diagonal.
void ConditionColumn(Real* ref, Real* shadow, RandomState* generator = nullptr);

// Runs the column `column` of `model` from the reference state `ref`, which
// it leaves at the column's end state for the next column; `carry` is what
// the column reports if it measures nothing. History points go to `history`
// when it is given. None when Esc ended the run at a convergence test.
std::optional<ColumnResult> RunColumn(std::int32_t column, const FlockModel& model, FlockState& ref,
                                      const SweepCarry& carry, const SweepSettings& settings, ColumnHost& host,
                                      const HistoryObserver& history);
