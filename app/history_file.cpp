#include "app/history_file.hpp"

#include <cerrno>
#include <cstring>

#include "runtime/replace_file.hpp"

const char* const HistoryHeader = "column,measured_passes,running_exponent,extrapolated,spread";

std::string history_line(const HistoryPoint& point) {
  char line[160];
  if (point.tested) {
    std::snprintf(line, sizeof line, "%d,%d,%.21Lg,%.21Lg,%.21Lg", point.column, point.measured_passes,
                  point.running_exponent, point.extrapolated, point.spread);
  } else {
    std::snprintf(line, sizeof line, "%d,%d,%.21Lg,,", point.column, point.measured_passes, point.running_exponent);
  }
  return line;
}

HistoryFile::~HistoryFile() {
  if (file) std::fclose(file);
}

bool history_open(HistoryFile& history, const std::string& path, bool append, std::string& error) {
  // A fresh history replaces an old one only once its header is written, so
  // a full disk leaves the old file as it was.
  std::string reason;
  if (!append && !replace_file(path, std::string(HistoryHeader) + "\n", reason)) {
    error = "cannot write the history file " + path + ": " + reason;
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "ae");
  if (!file) {
    error = "cannot write the history file " + path + ": " + std::strerror(errno);
    return false;
  }
  history.file = file;
  history.path = path;
  if (!append || std::ftell(file) != 0) return true;
  errno = 0;
  if (std::fprintf(file, "%s\n", HistoryHeader) < 0 || std::fflush(file) != 0) {
    error = "cannot write the history file " + path + ": " + std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  return true;
}

bool history_append(HistoryFile& history, const HistoryPoint& point, std::string& error) {
  if (!history.file) return false;
  errno = 0;
  if (std::fprintf(history.file, "%s\n", history_line(point).c_str()) > 0 && std::fflush(history.file) == 0)
    return true;
  error = "cannot write the history file " + history.path + ": " + std::strerror(errno != 0 ? errno : EIO);
  return false;
}
