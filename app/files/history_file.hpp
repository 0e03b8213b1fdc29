// The convergence history of every column: a line per 1000 measured passes,
// flushed as it is written so a long run can be followed with tail -f.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/measure/sweep_records.hpp"

extern const char* const HistoryHeader;

std::string history_line(const HistoryPoint& point);

struct HistoryFile {
  int fd = -1;
  std::string path;
  bool stream = false;  // a character device or a FIFO, written into as it is
  HistoryFile() = default;
  HistoryFile(const HistoryFile&) = delete;
  HistoryFile& operator=(const HistoryFile&) = delete;
  ~HistoryFile();
};

enum class HistoryOpened { Open, Refused, Failed };

// Opens the history. A fresh run replaces a regular file whole, starting
// with the header. A resumed run (`resumed_after`: the last finished
// column) keeps the header and the lines of the finished columns and drops
// the rest, which a run stopped in the middle of a column left; the kept
// part is written anew, so a link is replaced, never appended through. A
// device or a FIFO is written into as it is, from the header on. Refused
// (with the reason) when a resumed history is not one; Failed when it
// cannot be written.
HistoryOpened history_open(HistoryFile& history, const std::string& path, std::optional<std::int32_t> resumed_after,
                           std::string& error);
// Appends one line, whole or not at all; false with a one-line reason.
bool history_append(HistoryFile& history, const HistoryPoint& point, std::string& error);
