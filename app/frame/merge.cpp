#include "app/frame/merge.hpp"

#include <filesystem>
#include <map>

#include "app/files/members_file.hpp"
#include "app/files/spectrum_file.hpp"
#include "app/files/resume.hpp"
#include "app/files/run_lock.hpp"
#include "app/frame/column_output.hpp"
#include "app/frame/run_frame.hpp"
#include "app/frame/run_outputs.hpp"
#include "runtime/replace_file.hpp"

namespace {

// "I-K" of NAME.segI-K.csv, as --segment takes "I/K".
std::optional<Segment> segment_of(const std::string& file, const std::string& base_name) {
  const std::string prefix = base_name + ".seg";
  if (file.size() <= prefix.size() + 4 || file.compare(0, prefix.size(), prefix) != 0 || !file.ends_with(".csv"))
    return std::nullopt;
  std::string tag = file.substr(prefix.size(), file.size() - prefix.size() - 4);
  const std::size_t dash = tag.find('-');
  if (dash == std::string::npos) return std::nullopt;
  tag[dash] = '/';
  return parse_segment(tag);
}

std::string describe(const Segment& s) { return "segment " + std::to_string(s.index) + " of " + std::to_string(s.count); }

}  // namespace

std::vector<SegmentFile> FindSegmentFiles(const std::string& directory, const std::string& base_name) {
  std::vector<SegmentFile> found;
  std::error_code failed;
  for (const auto& entry : std::filesystem::directory_iterator(directory, failed)) {
    const std::string file = entry.path().filename().string();
    if (std::optional<Segment> s = segment_of(file, base_name)) found.push_back({*s, file.substr(0, file.size() - 4)});
  }
  return found;
}

std::optional<std::vector<ColumnResult>> LoadSegments(const Options& options, const std::string& base_name,
                                                      ResultsLayout layout, std::string& error,
                                                      std::vector<MemberResult>* members) {
  const std::vector<SegmentFile> files = FindSegmentFiles(".", base_name);
  if (files.empty()) {
    error = "no segment files " + base_name + ".segI-K.csv here";
    return std::nullopt;
  }
  // One split, every segment of it once.
  std::map<int, SegmentFile> by_index;
  const int count = files.front().segment.count;
  for (const SegmentFile& f : files) {
    if (f.segment.count != count) {
      error = files.front().base + ".csv and " + f.base + ".csv are segments of different splits";
      return std::nullopt;
    }
    auto [at, fresh] = by_index.emplace(f.segment.index, f);
    if (!fresh) {
      error = describe(f.segment) + " is there twice: " + at->second.base + ".csv and " + f.base + ".csv";
      return std::nullopt;
    }
  }
  const std::vector<std::int32_t> selected = SelectedColumns(options);
  std::vector<ColumnResult> merged;
  for (int index = 1; index <= count; ++index) {
    const Segment segment{index, count};
    const auto at = by_index.find(index);
    if (at == by_index.end()) {
      error = describe(segment) + " is missing: no " + base_name + ".seg" + segment_tag(segment) + ".csv";
      return std::nullopt;
    }
    const std::string& base = at->second.base;
    if (!std::filesystem::exists(base + ".checkpoint")) {
      error = base + ".checkpoint is missing: the segment did not run to its end, or its receipt was removed";
      return std::nullopt;
    }
    // A finished segment is checked as a resumption of it would be.
    Options of_segment = options;
    of_segment.segment = segment;
    std::optional<Resumption> done = LoadResumption(ResultOptionsText(of_segment), base, error, layout);
    if (!done) {
      error = base + ": " + error;
      return std::nullopt;
    }
    const std::vector<std::int32_t> expected = segment_columns(selected, segment);
    std::vector<std::int32_t> held;
    for (const ColumnResult& r : done->finished) held.push_back(r.column);
    if (held != expected) {
      error = base + ".csv holds " + std::to_string(held.size()) + " columns, not the " +
              std::to_string(expected.size()) + " of " + describe(segment) +
              (expected.empty() ? "" : " (" + std::to_string(expected.front()) + " to " +
                                           std::to_string(expected.back()) + ")");
      return std::nullopt;
    }
    if (const std::optional<std::string> fault = ResumptionFault(*done, expected)) {
      error = base + ": " + *fault;
      return std::nullopt;
    }
    if (options.members > 1 && !done->checkpoint.members_lines) {
      error = base + ".checkpoint vouches for no members file";
      return std::nullopt;
    }
    if (options.spectrum > 0 && !done->checkpoint.spectrum_lines) {
      error = base + ".checkpoint vouches for no spectrum file";
      return std::nullopt;
    }
    for (ColumnResult r : done->finished) {
      r.segment = index;
      merged.push_back(r);
    }
    if (members) members->insert(members->end(), done->members.begin(), done->members.end());
  }
  return merged;
}

int MergeRun(const Options& options, const Text& base_name, ResultsLayout layout) {
  std::string error;
  if (const std::optional<std::string> fault = RunOutputsFault(options, base_name, base_name)) return Fail(*fault);
  // Checked before the lock is taken, so that a refused set leaves no file;
  // the segments are only read, and replaced whole if at all.
  std::vector<MemberResult> members;
  std::optional<std::vector<ColumnResult>> merged = LoadSegments(options, base_name, layout, error, &members);
  if (!merged) return Fail("cannot merge: " + error);
  RunLock lock;
  if (!take_run_lock(lock, base_name + ".lock", error)) return Fail(error, lock.held_elsewhere ? Refused : WriteFailed);
  for (const char* extension : {".csv", ".members.csv", ".spectrum.csv", ".bmp", ".png"})
    remove_stale_temporaries(base_name + extension);

  FailedWrites failed;
  ResultsFile results;
  if (!results_start(results, base_name + ".csv", *merged, error, ResultsLayout::Merged)) return Fail(error, WriteFailed);
  MembersFile members_file;
  if (options.members > 1 && !members_start(members_file, base_name + ".members.csv", members, error))
    return Fail(error, WriteFailed);
  // Each segment's spectra came back beside its columns.
  std::vector<SpectrumLine> spectra;
  for (const ColumnResult& r : *merged)
    if (r.spectrum) spectra.push_back(*r.spectrum);
  SpectrumFile spectrum_file;
  if (options.spectrum > 0 &&
      !spectrum_start(spectrum_file, base_name + ".spectrum.csv", options.spectrum, spectra, error))
    return Fail(error, WriteFailed);
  OpenChart(base_name, options.headless);
  ChartCurve curve;
  ReplayColumns(*merged, DisplayObservers(options.target_error.has_value(), curve));
  return EndRun(RunEnd{base_name, true, ""}, failed);
}
