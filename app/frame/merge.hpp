// Merging the segments of a sweep that ran apart: the complete set of
// NAME.segI-K.csv in the current directory, each checked against the
// checkpoint it left (its options, the checksum of its lines, its last
// column) and against the columns its segment must hold.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/files/results_file.hpp"
#include "app/frame/options.hpp"
#include "app/measure/column_result.hpp"

// The segment files NAME.segI-K.csv in `directory`, by their names.
struct SegmentFile {
  Segment segment;
  std::string base;  // NAME.segI-K as written, without ".csv"
};
std::vector<SegmentFile> FindSegmentFiles(const std::string& directory, const std::string& base_name);

// The columns of all segments in sweep order, each with its segment; none,
// with one line saying what is wrong, when a segment is missing, doubled,
// incomplete, damaged, or was made with other options than `options`.
// `layout`: the layout the segments' options write. With --members, the
// segments' member lines too, in the same order, into `members`.
std::optional<std::vector<ColumnResult>> LoadSegments(const Options& options, const std::string& base_name,
                                                      ResultsLayout layout, std::string& error,
                                                      std::vector<MemberResult>* members = nullptr);

// flockchase --merge: the segments' columns into NAME.csv, its chart drawn
// as a resumed run redraws its finished columns, saved as NAME.bmp and
// converted, as a run ends. Nothing is written when the set is refused.
int MergeRun(const Options& options, const std::string& base_name, ResultsLayout layout);
