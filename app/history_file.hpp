// The convergence history of every column: a line per 1000 measured passes,
// flushed as it is written so a long run can be followed with tail -f.
#pragma once

#include <cstdio>
#include <string>

#include "app/sweep.hpp"

extern const char* const HistoryHeader;

std::string history_line(const HistoryPoint& point);

struct HistoryFile {
  std::FILE* file = nullptr;
  std::string path;
  HistoryFile() = default;
  HistoryFile(const HistoryFile&) = delete;
  HistoryFile& operator=(const HistoryFile&) = delete;
  ~HistoryFile();
};

// Opens the file (appending when resuming, else anew with its header,
// replacing an old file whole); false with a one-line reason on failure.
// When only the header could not be appended, the file is open all the same.
bool history_open(HistoryFile& history, const std::string& path, bool append, std::string& error);
bool history_append(HistoryFile& history, const HistoryPoint& point, std::string& error);
