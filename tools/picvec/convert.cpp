#include "tools/picvec/convert.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "tools/picvec/arguments.hpp"
#include "tools/picvec/bmp_reader.hpp"
#include "tools/picvec/png_writer.hpp"

namespace {

// The temporary file being written, for the signal handler. The handler runs
// on the only thread, so the name is never freed while it uses it.
std::atomic<char*> pending_temporary{nullptr};

void set_pending(const char* path) {
  char* copy = path ? strdup(path) : nullptr;
  char* old = pending_temporary.exchange(copy);
  std::free(old);
}

std::string failure_text(const std::string& path, const std::string& problem) {
  return printable(path) + ": " + printable(problem);
}

ConvertOutcome failed(const std::string& path, const std::string& problem) {
  return ConvertOutcome{false, failure_text(path, problem)};
}

std::string system_reason(int code) { return std::strerror(code); }

// Reads the whole of a regular file. Opening does not block on a FIFO, and a
// file that shrinks while it is read simply yields fewer bytes.
bool read_whole_file(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& problem) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    problem = "cannot open: " + system_reason(errno);
    return false;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    problem = "cannot read: " + system_reason(errno);
    close(fd);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = S_ISDIR(info.st_mode) ? "is a directory, not a bitmap file" : "is not a regular file";
    close(fd);
    return false;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  try {
    bytes.resize(size);
  } catch (const std::bad_alloc&) {
    problem = "too large to read into memory (" + std::to_string(size) + " bytes)";
    close(fd);
    return false;
  } catch (const std::length_error&) {
    problem = "too large to read into memory (" + std::to_string(size) + " bytes)";
    close(fd);
    return false;
  }
  std::uint64_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, bytes.data() + got, size - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      problem = "cannot read: " + system_reason(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::uint64_t>(n);
  }
  close(fd);
  bytes.resize(got);
  return true;
}

mode_t new_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

ConvertOutcome convert_bmp_to_png(const std::string& bmp_path, const std::string& png_path) {
  std::vector<std::uint8_t> bytes;
  std::string problem;
  if (!read_whole_file(bmp_path, bytes, problem)) return failed(bmp_path, problem);
  const std::span<const std::uint8_t> file(bytes);
  const BmpCheck check = check_bmp(file);
  if (!check.ok) return failed(bmp_path, check.problem);

  std::vector<char> temporary(png_path.begin(), png_path.end());
  for (char c : std::string_view(".XXXXXX")) temporary.push_back(c);
  temporary.push_back('\0');
  // A signal between creating the temporary file and recording its name
  // would leave it behind, so the signals that end the process wait.
  sigset_t ending{};
  sigset_t previous{};
  sigemptyset(&ending);
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&ending, number);
  sigprocmask(SIG_BLOCK, &ending, &previous);
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  const int create_error = errno;
  if (fd >= 0) set_pending(temporary.data());
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  if (fd < 0) return failed(png_path, "cannot create a temporary file beside it: " + system_reason(create_error));
  auto abandon = [&](const std::string& what) {
    unlink(temporary.data());
    set_pending(nullptr);
    return failed(png_path, what);
  };

  std::FILE* out = fdopen(fd, "wb");
  if (out == nullptr) {
    const int code = errno;
    close(fd);
    return abandon("cannot write: " + system_reason(code));
  }
  const BmpLayout layout = check.layout;
  const RgbRows rows{layout.width, layout.height,
                     [&](std::uint32_t y, std::uint8_t* rgb) { copy_rgb_row(file, layout, y, rgb); }};
  if (!write_png(out, rows, problem)) {
    std::fclose(out);
    return abandon("cannot write: " + problem);
  }
  // The finished file gets the permissions of any newly created file rather
  // than the owner-only ones of a temporary file.
  if (fchmod(fd, new_file_mode()) != 0 || fsync(fd) != 0) {
    const int code = errno;
    std::fclose(out);
    return abandon("cannot write: " + system_reason(code));
  }
  if (std::fclose(out) != 0) return abandon("cannot write: " + system_reason(errno));
  if (rename(temporary.data(), png_path.c_str()) != 0)
    return abandon("cannot put the finished file in place: " + system_reason(errno));
  set_pending(nullptr);
  return ConvertOutcome{true, {}};
}

void remove_pending_temporary() {
  if (const char* path = pending_temporary.load()) unlink(path);
}
