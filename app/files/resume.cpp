#include "app/files/resume.hpp"

#include <cmath>
#include <cstdio>
#include <utility>

#include "app/files/checksum.hpp"
#include "app/files/members_file.hpp"
#include "app/files/spectrum_file.hpp"
#include "app/files/results_file.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/flow_engine.hpp"
#include "runtime/file_guard.hpp"
#include "runtime/printable.hpp"
#include "runtime/random.hpp"

std::optional<Resumption> ResumptionFrom(const std::string& options_text, std::string_view checkpoint_text,
                                         std::string_view results_text, const Text& base_name, std::string& error,
                                         ResultsLayout layout) {
  const std::string checkpoint_path = base_name + ".checkpoint", results_path = base_name + ".csv";
  std::optional<Checkpoint> checkpoint = parse_checkpoint(checkpoint_text, error);
  if (!checkpoint) {
    error = checkpoint_path + ": " + error;
    return std::nullopt;
  }
  if (checkpoint->options != options_text) {
    error = "the checkpoint was written with other options (" + checkpoint->options + ")";
    return std::nullopt;
  }
  // The header and the columns the checkpoint vouches for; a stop between a
  // results line and its checkpoint leaves one line more, which is dropped.
  std::size_t end = 0;
  for (std::int32_t line = 0; line <= checkpoint->results_lines; ++line) {
    const std::size_t newline = results_text.find('\n', end);
    if (newline == std::string_view::npos) {
      error = results_path + " holds fewer columns than the checkpoint says";
      return std::nullopt;
    }
    end = newline + 1;
  }
  const std::string_view kept = results_text.substr(0, end);
  if (crc_of(kept) != checkpoint->results_crc) {
    error = results_path + " is not the one the checkpoint was written with (its checksum does not match)";
    return std::nullopt;
  }
  std::vector<ColumnResult> finished;
  std::size_t from = kept.find('\n') + 1;
  // A file from before the capture and integrator fields is read in its own
  // layout, and the run goes on writing the current one.
  const std::optional<ResultsLayout> written = ResultsLayoutOf(kept.substr(0, from - 1));
  if (!written || !LayoutReadsAs(*written, layout)) {
    error = results_path + (written ? " was written by a run with other measurement options"
                                    : ": not a flockchase results file");
    return std::nullopt;
  }
  layout = *written;
  while (from < kept.size()) {
    const std::size_t newline = kept.find('\n', from);
    std::optional<ColumnResult> r = parse_results_line(kept.substr(from, newline - from), layout);
    if (!r) {
      error = results_path + ": line " + std::to_string(finished.size() + 2) + " is damaged";
      return std::nullopt;
    }
    finished.push_back(*r);
    from = newline + 1;
  }
  // What follows may only be that one column, written whole, or the start
  // of it that a crash in the middle of its write left (no line feed yet):
  // the checkpoint does not vouch for it, so it is dropped.
  const std::string_view tail = results_text.substr(end);
  const std::size_t tail_end = tail.find('\n');
  const bool torn = tail_end == std::string_view::npos;
  if (!tail.empty() && !torn &&
      (tail_end != tail.size() - 1 || !parse_results_line(tail.substr(0, tail_end), layout))) {
    error = results_path + ": line " + std::to_string(finished.size() + 2) + " is damaged";
    return std::nullopt;
  }
  if (finished.back().column != checkpoint->column) {
    error = results_path + " does not end with the checkpoint's column";
    return std::nullopt;
  }
  return Resumption{*checkpoint, std::move(finished), {}, {}};
}

namespace {

// Without blocking on a FIFO and with a bound, so that no file can hang the
// run while it holds the directory's lock.
bool read_text(const std::string& path, std::string& text, std::string& error) {
  const bool checkpoint = path.ends_with(".checkpoint");
  std::string reason;
  if (read_regular_file(path, checkpoint ? CheckpointLimit : ResultsFileLimit, text, reason)) return true;
  error = (checkpoint ? "no checkpoint " : "no results file ") + path + " here: " + reason;
  return false;
}

// The members' lines a resumption's checkpoint vouches for: every finished
// column's members in order, as many as its results line counts.
std::optional<std::string> MembersFault(const Resumption& r) {
  std::size_t at = 0;
  for (const ColumnResult& column : r.finished) {
    const std::int32_t count = column.members.value_or(0);
    for (std::int32_t m = 0; m < count; ++m, ++at) {
      if (at >= r.members.size() || r.members[at].column != column.column || r.members[at].member != m)
        return "does not hold the members of column " + std::to_string(column.column) + " that its results line counts";
    }
  }
  if (at != r.members.size()) return "holds members of columns the results file does not";
  return std::nullopt;
}

// The spectrum lines a resumption's checkpoint vouches for: one for every
// finished column, in order, with the certificate its results line has.
std::optional<std::string> SpectraFault(const Resumption& r) {
  if (r.spectra.size() != r.finished.size()) return "does not hold a line for every column the results file holds";
  for (std::size_t i = 0; i < r.finished.size(); ++i) {
    const ColumnResult& column = r.finished[i];
    if (r.spectra[i].column != column.column)
      return "does not hold column " + std::to_string(column.column) + " where the results file has it";
    if (r.spectra[i].certificate != column.spectrum_certificate)
      return "gives column " + std::to_string(column.column) + " another certificate than the results file";
  }
  return std::nullopt;
}

// A file the checkpoint vouches for, whole; false with the reason.
bool ReadVouched(const std::string& path, const char* what, std::size_t limit, std::string& text, std::string& error) {
  std::string reason;
  if (read_regular_file(path, limit, text, reason)) return true;
  error = std::string("no ") + what + " file " + path + " here: " + reason;
  return false;
}

bool LoadMembers(Resumption& r, const std::string& base_name, std::string& error) {
  const std::string path = base_name + ".members.csv";
  std::string text;
  if (!ReadVouched(path, "members", MembersFileLimit, text, error)) return false;
  std::optional<std::vector<MemberResult>> members =
      members_vouched(text, path, *r.checkpoint.members_lines, r.checkpoint.members_crc, error);
  if (!members) return false;
  r.members = std::move(*members);
  if (const std::optional<std::string> fault = MembersFault(r)) {
    error = path + " " + *fault;
    return false;
  }
  return true;
}

// Each finished column's spectrum goes back beside its result, for the
// report lines a resumption shows again.
bool LoadSpectra(Resumption& r, const std::string& base_name, std::string& error) {
  const std::string path = base_name + ".spectrum.csv";
  std::string text;
  if (!ReadVouched(path, "spectrum", SpectrumFileLimit, text, error)) return false;
  std::optional<std::vector<SpectrumLine>> spectra =
      spectrum_vouched(text, path, *r.checkpoint.spectrum_lines, r.checkpoint.spectrum_crc, error);
  if (!spectra) return false;
  r.spectra = std::move(*spectra);
  if (const std::optional<std::string> fault = SpectraFault(r)) {
    error = path + " " + *fault;
    return false;
  }
  for (std::size_t i = 0; i < r.finished.size(); ++i) r.finished[i].spectrum = r.spectra[i];
  return true;
}

}  // namespace

std::optional<Resumption> LoadResumption(const std::string& options_text, const Text& base_name, std::string& error,
                                         ResultsLayout layout) {
  std::string checkpoint_text, results_text;
  if (!read_text(base_name + ".checkpoint", checkpoint_text, error) ||
      !read_text(base_name + ".csv", results_text, error))
    return std::nullopt;
  std::optional<Resumption> r = ResumptionFrom(options_text, checkpoint_text, results_text, base_name, error, layout);
  if (r && r->checkpoint.members_lines && !LoadMembers(*r, base_name, error)) return std::nullopt;
  if (r && r->checkpoint.spectrum_lines && !LoadSpectra(*r, base_name, error)) return std::nullopt;
  return r;
}

namespace {

std::string shown(Real value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.6Lg", value);
  return text;
}

// The field of a finished column that no run writes, as "NAME (VALUE)":
// counts are whole numbers of at least 0, rates at least 0, times finite and
// at least 0, the tolerance positive and finite, the integrator one that the
// program has; an empty field is none and fits wherever the layout has one.
std::optional<std::string> FieldOutOfRange(const ColumnResult& r) {
  const std::pair<const char*, std::optional<std::int64_t>> counts[] = {
      {"large_passes", r.large_passes}, {"captures", r.captures}, {"steps", r.steps}, {"rejected_steps", r.rejected_steps}};
  for (const auto& [name, count] : counts)
    if (count && *count < 0) return std::string(name) + " (" + std::to_string(*count) + ")";
  if (!(std::isfinite(r.seconds) && r.seconds >= 0)) return "seconds (" + shown(static_cast<Real>(r.seconds)) + ")";
  if (r.chaotic_time && !(std::isfinite(*r.chaotic_time) && *r.chaotic_time >= 0))
    return "chaotic_time (" + shown(*r.chaotic_time) + ")";
  // A rate may be infinite (captures in no time), never negative or NaN.
  const std::pair<const char*, std::optional<Real>> rates[] = {{"capture_rate", r.capture_rate},
                                                               {"collapse_rate", r.collapse_rate}};
  for (const auto& [name, rate] : rates)
    if (rate && !(*rate >= 0)) return std::string(name) + " (" + shown(*rate) + ")";
  if (r.tolerance && !(std::isfinite(*r.tolerance) && *r.tolerance > 0))
    return "tolerance (" + shown(*r.tolerance) + ")";
  if (!r.integrator.empty() && r.integrator != "step" && r.integrator != FlowMethodName)
    return "integrator (" + escape_controls(r.integrator) + ")";
  const std::pair<const char*, std::optional<std::int32_t>> settle_counts[] = {
      {"laminar_phases", r.laminar_phases}, {"members", r.members},         {"ended_chaotic", r.ended_chaotic},
      {"ended_settled", r.ended_settled},   {"ended_captured", r.ended_captured}, {"ended_stalled", r.ended_stalled},
      {"escapes", r.escapes},               {"attractors", r.attractors}};
  for (const auto& [name, count] : settle_counts)
    if (count && *count < 0) return std::string(name) + " (" + std::to_string(*count) + ")";
  const std::pair<const char*, std::optional<Real>> times[] = {{"settled_time", r.settled_time},
                                                               {"member_chaotic_time", r.member_chaotic_time}};
  for (const auto& [name, time] : times)
    if (time && !(std::isfinite(*time) && *time >= 0)) return std::string(name) + " (" + shown(*time) + ")";
  const std::pair<const char*, std::optional<Real>> escape_rates[] = {
      {"escape_rate", r.escape_rate}, {"escape_rate_low", r.escape_rate_low}, {"escape_rate_high", r.escape_rate_high}};
  for (const auto& [name, rate] : escape_rates)
    if (rate && !(*rate >= 0)) return std::string(name) + " (" + shown(*rate) + ")";
  const std::pair<const char*, std::optional<Real>> shares[] = {
      {"chaotic_share_low", r.chaotic_share_low},   {"chaotic_share_high", r.chaotic_share_high},
      {"settled_share_low", r.settled_share_low},   {"settled_share_high", r.settled_share_high},
      {"captured_share_low", r.captured_share_low}, {"captured_share_high", r.captured_share_high}};
  for (const auto& [name, share] : shares)
    if (share && !(*share >= 0 && *share <= 1)) return std::string(name) + " (" + shown(*share) + ")";
  const std::pair<const char*, std::optional<std::int32_t>> spectrum_counts[] = {
      {"positive_exponents", r.positive_exponents}, {"zero_exponents", r.zero_exponents}};
  for (const auto& [name, count] : spectrum_counts)
    if (count && !(*count >= 0 && *count <= 32)) return std::string(name) + " (" + std::to_string(*count) + ")";
  if (r.kaplan_yorke && !(*r.kaplan_yorke >= 0 && *r.kaplan_yorke <= 32))
    return "kaplan_yorke (" + shown(*r.kaplan_yorke) + ")";
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ResumptionFault(const Resumption& resumption, const std::vector<std::int32_t>& columns) {
  const Checkpoint& c = resumption.checkpoint;
  const std::vector<ColumnResult>& finished = resumption.finished;
  if (finished.size() > columns.size())
    return "the results file holds " + std::to_string(finished.size()) + " columns, but the options select only " +
           std::to_string(columns.size());
  for (std::size_t i = 0; i < finished.size(); ++i) {
    const ColumnResult& r = finished[i];
    if (r.column != columns[i])
      return "line " + std::to_string(i + 2) + " of the results file is column " + std::to_string(r.column) +
             ", where the options select column " + std::to_string(columns[i]);
    if (r.passes < 0 || r.measured_passes < 0 || r.measured_passes > r.passes || r.blocks < 0)
      return "line " + std::to_string(i + 2) + " of the results file has counts out of range";
    if (const std::optional<std::string> field = FieldOutOfRange(r))
      return "line " + std::to_string(i + 2) + " of the results file has " + *field + " out of range";
  }
  for (std::int32_t i = 1; i <= StateSize; ++i)
    if (!std::isfinite(c.ref_state[i])) return "the checkpoint's reference state is not finite";
  if (c.row != ExponentRow(c.exponent)) return "the checkpoint's curve point does not belong to its exponent";
  return std::nullopt;
}

Checkpoint CheckpointAfter(const ColumnResult& result, bool first_point, const FlockState& ref,
                           const std::string& options_text, std::int32_t results_lines, std::uint32_t results_crc) {
  Checkpoint c;
  c.options = options_text;
  c.column = result.column;
  c.row = ExponentRow(result.exponent);
  c.results_lines = results_lines;
  c.results_crc = results_crc;
  c.first_point = first_point;
  c.random_state = random_state().state;
  c.random_last = random_state().last;
  c.exponent = result.exponent;
  c.mean_divergence = result.mean_divergence;
  c.spread = result.spread;
  for (std::int32_t i = 1; i <= StateSize; ++i) c.ref_state[i] = ref[i];
  return c;
}

std::int32_t ResumeSweep(const Resumption& resumption, FlockState& ref, SweepCarry& carry, bool& first_point) {
  const Checkpoint& c = resumption.checkpoint;
  for (std::int32_t i = 1; i <= StateSize; ++i) ref[i] = c.ref_state[i];
  random_state().state = c.random_state;
  random_state().last = c.random_last;
  carry.Exponent = c.exponent;
  carry.MeanDivergence = c.mean_divergence;
  carry.Spread = c.spread;
  first_point = c.first_point;
  return c.column;
}
