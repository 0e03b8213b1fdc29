// The results file: a header line, then one line per finished column,
// flushed as the column ends so that an interrupted run keeps every one.
// Reals carry 21 significant digits, enough to give back the same extended
// value when read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/measure/column_result.hpp"

// A run without the measurement options writes the plain layout; a run with
// any of them the extended one, whose lines carry four more fields (empty
// where the option that fills them is off), the five of capture detection,
// the integrator's four, the settling's four and the ensemble's twenty. A
// merge of segments writes the extended layout with the segment after the
// first four. Files of the layouts as they were before capture detection
// and the integrator's fields (15 and 16 fields) and before the settling and
// ensemble fields (24 and 25) are still read, told by their header.
enum class ResultsLayout { Plain, Extended, Merged, Extended15, Merged16, Extended24, Merged25 };

extern const char* const ResultsHeader;
extern const char* const ExtendedResultsHeader;
extern const char* const MergedResultsHeader;
// The layout of a header line; none when it is no results header.
std::optional<ResultsLayout> ResultsLayoutOf(std::string_view header);
// Whether a file of layout `read` may stand where `expected` is written: the
// same, or one of its earlier forms.
bool LayoutReadsAs(ResultsLayout read, ResultsLayout expected);
const char* ResultsHeaderOf(ResultsLayout layout);
// The layouts that `layout` replaced, newest first, whose files a resumption
// or a merge still reads.
std::vector<ResultsLayout> EarlierLayouts(ResultsLayout layout);

std::string results_line(const ColumnResult& result, ResultsLayout layout = ResultsLayout::Plain);
std::optional<ColumnResult> parse_results_line(std::string_view line, ResultsLayout layout = ResultsLayout::Plain);

// The most a results file is read of: 799 columns of a few hundred bytes
// fit many times over.
constexpr std::size_t ResultsFileLimit = 16u << 20;

// Reads the column lines of a results file of either layout (told in
// `layout` when given); none when the file is missing, has no header or
// holds a line that does not parse.
std::optional<std::vector<ColumnResult>> read_results_file(const std::string& path, std::string& error,
                                                           ResultsLayout* layout = nullptr);

struct ResultsFile {
  int fd = -1;  // opened for appending
  std::string path;
  ResultsLayout layout = ResultsLayout::Plain;
  std::uint32_t crc = 0;  // CRC-32 of everything written to it, for the checkpoint
  ResultsFile() = default;
  ResultsFile(const ResultsFile&) = delete;
  ResultsFile& operator=(const ResultsFile&) = delete;
  ~ResultsFile();
};

// Starts a new results file holding the header and the given columns
// (written to a temporary file and renamed, so an old file is never half
// replaced); false with a one-line reason on failure.
bool results_start(ResultsFile& results, const std::string& path, const std::vector<ColumnResult>& kept,
                   std::string& error, ResultsLayout layout = ResultsLayout::Plain);
// Appends one column to the file; false with a one-line reason on failure.
bool results_append(ResultsFile& results, const ColumnResult& result, std::string& error);
