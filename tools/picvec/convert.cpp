#include "tools/picvec/convert.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "runtime/replace_file.hpp"
#include "tools/picvec/arguments.hpp"
#include "tools/picvec/bmp_reader.hpp"
#include "tools/picvec/png_writer.hpp"

namespace {

std::string failure_text(const std::string& path, const std::string& problem) {
  return printable(path) + ": " + printable(problem);
}

ConvertOutcome failed(const std::string& path, const std::string& problem) {
  return ConvertOutcome{false, failure_text(path, problem)};
}

std::string system_reason(int code) { return std::strerror(code); }

// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
bool read_at(int fd, std::uint8_t* into, std::size_t size, std::uint64_t offset, std::size_t& got, int& error) {
  got = 0;
  while (got < size) {
    const ssize_t n = pread(fd, into + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

struct OpenBitmap {
  int fd = -1;
  std::uint64_t length = 0;
  ~OpenBitmap() {
    if (fd >= 0) close(fd);
  }
};

// Opens a regular file for reading. Opening does not block on a FIFO.
bool open_bitmap(const std::string& path, OpenBitmap& bitmap, std::string& problem) {
  bitmap.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (bitmap.fd < 0) {
    problem = "cannot open: " + system_reason(errno);
    return false;
  }
  struct stat info {};
  if (fstat(bitmap.fd, &info) != 0) {
    problem = "cannot read: " + system_reason(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = S_ISDIR(info.st_mode) ? "is a directory, not a bitmap file" : "is not a regular file";
    return false;
  }
  bitmap.length = static_cast<std::uint64_t>(info.st_size);
  return true;
}

// Checks the headers from the start of the opened file.
BmpCheck check_start(const OpenBitmap& bitmap) {
  std::uint8_t start[BmpHeadersMax];
  std::size_t got = 0;
  int read_error = 0;
  if (!read_at(bitmap.fd, start, sizeof start, 0, got, read_error)) {
    BmpCheck unread;
    unread.problem = "cannot read: " + system_reason(read_error);
    return unread;
  }
  // A file that shrinks while it is read is judged by what it still holds.
  const std::uint64_t length = got < sizeof start ? got : bitmap.length;
  return check_bmp_start(std::span<const std::uint8_t>(start, got), length);
}

// The image rows, read from the file as the encoder asks for them, so that
// memory does not grow with the image. Once a row cannot be read, it and
// every later one come out black and `problem` says why.
struct StoredRows {
  int fd;
  BmpLayout layout;
  std::vector<std::uint8_t> stored;  // one stored row
  std::string problem;

  void fill(std::uint32_t y, std::uint8_t* rgb) {
    const std::uint64_t stored_row = layout.top_down ? y : layout.height - 1 - y;
    std::size_t n = 0;
    int error = 0;
    const std::size_t row_bytes = std::size_t{layout.width} * 3;
    if (problem.empty()) {
      if (!read_at(fd, stored.data(), row_bytes, layout.pixel_offset + stored_row * layout.row_stride, n, error)) {
        problem = "cannot read: " + system_reason(error);
      } else if (n < row_bytes) {
        problem = "truncated pixel data: the file shrank while it was read";
      }
    }
    if (!problem.empty()) {
      std::memset(rgb, 0, row_bytes);
      return;
    }
    for (std::uint32_t x = 0; x < layout.width; ++x) {
      rgb[3 * x] = stored[3 * x + 2];
      rgb[3 * x + 1] = stored[3 * x + 1];
      rgb[3 * x + 2] = stored[3 * x];
    }
  }
};

// Encodes the rows onto `fd` through a stream of its own. False with `why`
// when the PNG cannot be written; false without a reason when the rows
// failed (the bitmap's fault, which the caller reports).
bool write_rows_as_png(int fd, StoredRows& source, std::string& why) {
  const RgbRows rows{source.layout.width, source.layout.height,
                     [&source](std::uint32_t y, std::uint8_t* rgb) { source.fill(y, rgb); }};
  const int own = dup(fd);
  std::FILE* out = own >= 0 ? fdopen(own, "wb") : nullptr;
  if (out == nullptr) {
    why = "cannot write: " + system_reason(errno);
    if (own >= 0) close(own);
    return false;
  }
  std::string png_problem;
  const bool encoded = write_png(out, rows, png_problem);
  const int closed = std::fclose(out);
  if (!source.problem.empty()) return false;
  if (!encoded) {
    why = "cannot write: " + png_problem;
    return false;
  }
  if (closed != 0) {
    why = "cannot write: " + system_reason(errno);
    return false;
  }
  return true;
}

}  // namespace

ConvertOutcome convert_bmp_to_png(const std::string& bmp_path, const std::string& png_path) {
  OpenBitmap bitmap;
  std::string problem;
  if (!open_bitmap(bmp_path, bitmap, problem)) return failed(bmp_path, problem);
  const BmpCheck check = check_start(bitmap);
  if (!check.ok) return failed(bmp_path, check.problem);

  StoredRows source{bitmap.fd, check.layout, std::vector<std::uint8_t>(check.layout.row_stride), {}};
  std::string reason;
  const bool written =
      replace_file(png_path, [&source](int fd, std::string& why) { return write_rows_as_png(fd, source, why); }, reason);
  if (written) return ConvertOutcome{true, {}};
  if (!source.problem.empty()) return failed(bmp_path, source.problem);
  if (reason.rfind("cannot ", 0) != 0) reason = "cannot write: " + reason;
  return failed(png_path, reason);
}

void remove_pending_temporary() { remove_pending_replacement(); }
