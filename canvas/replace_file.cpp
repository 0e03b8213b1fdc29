#include "canvas/replace_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

std::string describe(int code) {
  char buffer[256];
  return strerror_r(code, buffer, sizeof buffer);  // the GNU form returns the text
}

std::atomic<unsigned> temporary_counter{0};

}  // namespace

bool replace_file(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& reason) {
  if (path.empty()) {
    reason = describe(ENOENT);
    return false;
  }
  if (path.back() == '/') {
    reason = describe(EISDIR);
    return false;
  }
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);

  struct stat existing {};
  const bool replaces_file = stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);

  // A hidden sibling, so that the rename stays within one file system.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = directory + "/." + base.substr(0, 180) + "." + std::to_string(getpid()) + "." +
                std::to_string(temporary_counter.fetch_add(1)) + ".tmp";
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) break;
  }
  if (fd < 0) {
    reason = describe(errno);
    return false;
  }
  auto fail = [&](int code) {
    reason = describe(code);
    if (fd >= 0) close(fd);
    unlink(temporary.c_str());
    return false;
  };

  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) return fail(ENOSPC);
    done += static_cast<std::size_t>(n);
  }
  if (replaces_file && fchmod(fd, existing.st_mode & 07777) != 0) return fail(errno);
  if (fsync(fd) != 0) return fail(errno);
  const int closed = close(fd);
  fd = -1;
  if (closed != 0) return fail(errno);
  if (rename(temporary.c_str(), path.c_str()) != 0) return fail(errno);
  return true;
}
