// Continuing a stopped sweep: the checkpoint written after every column and
// the finished columns of the results file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/files/checkpoint.hpp"
#include "app/files/results_file.hpp"
#include "app/measure/column_result.hpp"
#include "app/measure/member_result.hpp"
#include "app/measure/spectrum_line.hpp"
#include "app/measure/sweep_records.hpp"
#include "app/model/flock_model.hpp"
#include "runtime/text.hpp"

struct Resumption {
  Checkpoint checkpoint;
  std::vector<ColumnResult> finished;  // the columns up to the checkpoint's
  std::vector<MemberResult> members;   // their members' lines, with --members
  std::vector<SpectrumLine> spectra;   // their spectra, with --spectrum
};

// Reads BASE.checkpoint and BASE.csv (and BASE.members.csv and
// BASE.spectrum.csv when the checkpoint vouches for them); none, with a one-line reason, when any is
// missing or damaged, the checkpoint was written with other options, or
// they do not agree.
// `layout`: the results file's layout that the options write.
std::optional<Resumption> LoadResumption(const std::string& options_text, const Text& base_name, std::string& error,
                                         ResultsLayout layout = ResultsLayout::Plain);
// The same from the two files' contents. Refused unless both checksums of
// the checkpoint match: its own, and that of the results file's header and
// the columns it counts.
std::optional<Resumption> ResumptionFrom(const std::string& options_text, std::string_view checkpoint_text,
                                         std::string_view results_text, const Text& base_name, std::string& error,
                                         ResultsLayout layout = ResultsLayout::Plain);

// What the checksums cannot catch, in a pair edited consistently: the
// finished columns must be the first of those the options select (`columns`,
// right to left), the reference state finite, the counts in range. The
// reason, or none when the resumption is sound.
std::optional<std::string> ResumptionFault(const Resumption& resumption, const std::vector<std::int32_t>& columns);

// The checkpoint after a finished column, `ref` the state it ended with and
// `first_point` whether the curve still waits for its first point.
Checkpoint CheckpointAfter(const ColumnResult& result, bool first_point, const FlockState& ref,
                           const std::string& options_text, std::int32_t results_lines, std::uint32_t results_crc);

// Puts back the state the next column starts from: the reference state, the
// carry, the random generator and whether the curve has begun. Returns the
// last finished column.
std::int32_t ResumeSweep(const Resumption& resumption, FlockState& ref, SweepCarry& carry, bool& first_point);
