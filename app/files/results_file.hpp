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

#include "app/files/results_layout.hpp"
#include "app/measure/column_result.hpp"

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
