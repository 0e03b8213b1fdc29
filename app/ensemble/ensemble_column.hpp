// An ensemble column: K members at one damping, on lanes of the batch
// engine, over one or two threads. Member 0 goes on from the sweep's state
// as a column of one member does; members 1 to K-1 start from fresh states
// (standard normal positions, at rest, conditioned as a column's start)
// drawn from generators of their own, seeded from the column and the
// member's number, so that member m of column c starts from the same state
// whatever K, the threads, the segment or a resumption. The column's shares,
// escape rate and exponent are the fresh members': member 0 was not drawn
// as they were.
#pragma once

#include <cstdint>
#include <optional>

#include "app/measure/column_host.hpp"
#include "app/measure/column_result.hpp"
#include "app/measure/sweep_settings.hpp"
#include "app/model/flock_model.hpp"
#include "runtime/random.hpp"

// The generator of member `member` of column `column` (member 0 draws from
// the program's own); another `seed` draws other fresh starts.
RandomState MemberGenerator(std::int32_t column, std::int32_t member, std::uint32_t seed = 0);

// Runs the column with settings.members members on settings.threads
// threads; `ref` is left as member 0 left it. None when Esc ended the run.
std::optional<ColumnResult> RunEnsembleColumn(std::int32_t column, const FlockModel& model, FlockState& ref,
                                              const SweepCarry& carry, const SweepSettings& settings, ColumnHost& host,
                                              const HistoryObserver& history);

// The column's fields from its members' lines (member 0 first): its ends,
// shares, escapes and rate, attractors and exponent. Also labels the
// members' attractors.
void SumUpEnsemble(ColumnResult& column);
