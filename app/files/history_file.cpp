#include "app/files/history_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/files/number_text.hpp"
#include "runtime/file_guard.hpp"
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
  if (fd >= 0) close(fd);
}

namespace {

// Far longer than any line this program writes.
constexpr std::size_t LongestLine = 4096;

std::string cannot_write(const std::string& path, const std::string& reason) {
  return "cannot write the history file " + path + ": " + reason;
}

// How many bytes of the history on `fd` a resumption after `last_column`
// keeps: the header and the whole lines up to the first of a later column
// (columns fall as the sweep goes). None with the reason when it is not a
// history.
std::optional<off_t> kept_length(int fd, std::int32_t last_column, std::string& reason) {
  std::string line;
  off_t at = 0, kept = 0;
  long number = 0;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = std::strerror(errno);
      return std::nullopt;
    }
    if (n == 0) return kept;  // a torn last line is dropped
    for (ssize_t i = 0; i < n; ++i) {
      ++at;
      if (buffer[i] != '\n') {
        if (line.size() == LongestLine) {
          reason = "line " + std::to_string(number + 1) + " is damaged";
          return std::nullopt;
        }
        line.push_back(buffer[i]);
        continue;
      }
      ++number;
      if (number == 1) {
        if (line != HistoryHeader) {
          reason = "not a flockchase history file (line 1 is not its header)";
          return std::nullopt;
        }
      } else {
        const std::optional<std::int32_t> column = parse_integer<std::int32_t>(line.substr(0, line.find(',')));
        if (!column) {
          reason = "line " + std::to_string(number) + " is damaged";
          return std::nullopt;
        }
        if (*column < last_column) return kept;
      }
      kept = at;
      line.clear();
    }
  }
}

// Copies the first `length` bytes of `from` onto `to`.
bool copy_start(int from, int to, off_t length, std::string& reason) {
  char buffer[65536];
  for (off_t done = 0; done < length;) {
    const std::size_t want = static_cast<std::size_t>(std::min<off_t>(length - done, sizeof buffer));
    const ssize_t n = pread(from, buffer, want, done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      reason = n < 0 ? std::strerror(errno) : "the file shrank while it was copied";
      return false;
    }
    if (!write_all(to, buffer, static_cast<std::size_t>(n), reason)) return false;
    done += n;
  }
  return true;
}

// The new regular history: the header, or the kept start of the old one.
bool start_regular(const std::string& path, std::optional<std::int32_t> resumed_after, bool& refused,
                   std::string& error) {
  const std::string header = std::string(HistoryHeader) + "\n";
  std::string reason;
  if (!resumed_after || path_kind(path) == PathKind::Missing) {
    if (replace_file(path, header, reason)) return true;
    error = cannot_write(path, reason);
    return false;
  }
  const int old = open_regular_input(path, static_cast<std::size_t>(-1), reason);
  const std::optional<off_t> kept = old >= 0 ? kept_length(old, *resumed_after, reason) : std::nullopt;
  if (!kept) {
    if (old >= 0) close(old);
    refused = true;
    error = "cannot resume the history file " + path + ": " + reason;
    return false;
  }
  const bool written = replace_file(
      path, [&](int fd, std::string& why) { return copy_start(old, fd, *kept, why); }, reason);
  close(old);
  if (!written) error = cannot_write(path, reason);
  return written;
}

}  // namespace

HistoryOpened history_open(HistoryFile& history, const std::string& path, std::optional<std::int32_t> resumed_after,
                           std::string& error) {
  std::string reason;
  if (path_kind(path) == PathKind::Stream) {
    const int fd = open_stream_output(path, reason);
    const std::string header = std::string(HistoryHeader) + "\n";
    if (fd < 0 || !write_all(fd, header.data(), header.size(), reason)) {
      if (fd >= 0) close(fd);
      error = cannot_write(path, reason);
      return HistoryOpened::Failed;
    }
    history.fd = fd;
    history.path = path;
    history.stream = true;
    return HistoryOpened::Open;
  }
  bool refused = false;
  if (!start_regular(path, resumed_after, refused, error)) return refused ? HistoryOpened::Refused : HistoryOpened::Failed;
  // Never through a link planted since the rename.
  const int fd = open_regular_append(path, reason);
  if (fd < 0) {
    error = cannot_write(path, reason);
    return HistoryOpened::Failed;
  }
  history.fd = fd;
  history.path = path;
  history.stream = false;
  return HistoryOpened::Open;
}

bool history_append(HistoryFile& history, const HistoryPoint& point, std::string& error) {
  if (history.fd < 0) return false;
  const std::string line = history_line(point) + "\n";
  std::string reason;
  struct stat before {};
  if (!history.stream && fstat(history.fd, &before) != 0) {
    error = cannot_write(history.path, std::strerror(errno));
    return false;
  }
  if (write_all(history.fd, line.data(), line.size(), reason)) return true;
  // A line cut short by a full disk is taken back.
  if (!history.stream && ftruncate(history.fd, before.st_size) != 0)
    reason += "; the cut line could not be taken back: " + std::string(std::strerror(errno));
  error = cannot_write(history.path, reason);
  return false;
}
