#include "runtime/replace_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string describe(int code) {
  char buffer[256];
  return strerror_r(code, buffer, sizeof buffer);  // the GNU form returns the text
}

std::atomic<unsigned> temporary_counter{0};

// The temporary being written, for a signal handler that ends the process.
// One slot: replacements run one at a time on the program thread.
std::atomic<char*> pending{nullptr};

void set_pending(const std::string* path) {
  char* copy = path ? strdup(path->c_str()) : nullptr;
  std::free(pending.exchange(copy));
}

struct Split {
  std::string directory;
  std::string base;
};

Split split_path(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The base name is cut so that the temporary's name stays within NAME_MAX.
std::string temporary_prefix(const std::string& base) {
  std::string prefix(1, '.');
  prefix.append(base, 0, 180);
  prefix.push_back('.');
  return prefix;
}

bool sync_directory(const std::string& directory, std::string& reason) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    reason = "cannot open its directory to flush it: " + describe(errno);
    return false;
  }
  // Some file systems cannot flush a directory at all; the rename is then
  // as durable as they make it.
  const bool ok = fsync(fd) == 0 || errno == EINVAL;
  if (!ok) reason = "cannot flush its directory: " + describe(errno);
  close(fd);
  return ok;
}

}  // namespace

bool write_all(int fd, const void* bytes, std::size_t size, std::string& reason) {
  const auto* at = static_cast<const std::uint8_t*>(bytes);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, at + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      reason = describe(errno);
      return false;
    }
    if (n == 0) {
      reason = describe(ENOSPC);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

// What stands at the path to be replaced.
struct Target {
  bool replaces_file = false;  // a regular file, perhaps behind a link
  mode_t mode = 0;             // the replaced file's permissions, for the new file
};

// False with the reason when nothing can replace `path`: an empty one, a
// name ending in a slash, a directory.
bool look_at_target(const std::string& path, Target& target, std::string& reason) {
  if (path.empty()) {
    reason = describe(ENOENT);
    return false;
  }
  if (path.back() == '/') {
    reason = describe(EISDIR);
    return false;
  }
  // The permissions are those of the file itself, not of a link to it
  // (whose own are always rwxrwxrwx).
  struct stat existing {};
  const bool there = stat(path.c_str(), &existing) == 0;
  target.replaces_file = there && S_ISREG(existing.st_mode);
  if (target.replaces_file) target.mode = existing.st_mode;
  // A device, a FIFO or a socket (or a link to one) is never replaced by a
  // file: as root that would replace /dev/null for everyone.
  if (there && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode)) {
    reason = "not a regular file, and never replaced by one";
    return false;
  }
  if (lstat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
    reason = describe(EISDIR);
    return false;
  }
  return true;
}

// Creates a hidden sibling, so that the rename stays within one file system,
// and records it as pending; its descriptor, or -1 with the reason. A signal
// between creating it and recording its name would leave it behind, so the
// signals that end the process wait meanwhile.
int create_temporary(const Split& parts, std::string& temporary, std::string& reason) {
  sigset_t ending{}, previous{};
  sigemptyset(&ending);
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&ending, number);
  int fd = -1;
  int create_error = 0;
  pthread_sigmask(SIG_BLOCK, &ending, &previous);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = parts.directory + "/" + temporary_prefix(parts.base) + std::to_string(getpid()) + "." +
                std::to_string(temporary_counter.fetch_add(1)) + ".tmp";
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    create_error = errno;
    if (fd >= 0 || create_error != EEXIST) break;
  }
  if (fd >= 0) set_pending(&temporary);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (fd < 0) reason = describe(create_error);
  return fd;
}

}  // namespace

bool replace_file(const std::string& path, const std::function<bool(int fd, std::string& reason)>& write_content,
                  std::string& reason) {
  Target target;
  if (!look_at_target(path, target, reason)) return false;
  const Split parts = split_path(path);
  std::string temporary;
  int fd = create_temporary(parts, temporary, reason);
  if (fd < 0) return false;
  auto fail = [&](const std::string& why) {
    reason = why;
    if (fd >= 0) close(fd);
    unlink(temporary.c_str());
    set_pending(nullptr);
    return false;
  };

  std::string why;
  if (!write_content(fd, why)) return fail(why.empty() ? describe(EIO) : why);
  if (target.replaces_file && fchmod(fd, target.mode & 07777) != 0) return fail(describe(errno));
  // Flushed before the rename: a crash must not leave an empty file under
  // the old name.
  if (fsync(fd) != 0) return fail(describe(errno));
  const int closed = close(fd);
  fd = -1;
  if (closed != 0) return fail(describe(errno));
  if (rename(temporary.c_str(), path.c_str()) != 0) return fail(describe(errno));
  set_pending(nullptr);
  return sync_directory(parts.directory, reason);
}

bool replace_file(const std::string& path, std::string_view bytes, std::string& reason) {
  return replace_file(
      path, [bytes](int fd, std::string& why) { return write_all(fd, bytes.data(), bytes.size(), why); }, reason);
}

bool replace_file(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& reason) {
  return replace_file(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), reason);
}

void remove_pending_replacement() {
  if (const char* path = pending.load()) unlink(path);
}

int remove_stale_temporaries(const std::string& path) {
  const Split parts = split_path(path);
  const std::string prefix = temporary_prefix(parts.base);
  DIR* directory = opendir(parts.directory.c_str());
  if (directory == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = readdir(directory)) {
    const std::string_view name(entry->d_name);
    if (name.size() <= prefix.size() + 4 || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - 4) != ".tmp")
      continue;
    // PID.N between the prefix and ".tmp", both whole numbers.
    const std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    const std::size_t dot = middle.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == middle.size()) continue;
    const std::string_view pid_text = middle.substr(0, dot), counter_text = middle.substr(dot + 1);
    auto digits = [](std::string_view s) {
      return s.size() <= 10 && s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!digits(pid_text) || !digits(counter_text)) continue;
    const long pid = std::strtol(std::string(pid_text).c_str(), nullptr, 10);
    if (pid <= 0 || pid > 0x7FFFFFFF) continue;
    // A process that still exists (even one of another user) may be writing it.
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    const std::string full = parts.directory + "/" + std::string(name);
    struct stat info {};
    if (lstat(full.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (unlink(full.c_str()) == 0) ++removed;
  }
  closedir(directory);
  return removed;
}
