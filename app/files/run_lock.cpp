#include "app/files/run_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

RunLock::~RunLock() {
  if (fd >= 0) close(fd);
}

bool take_run_lock(RunLock& lock, const std::string& path, std::string& error) {
  // Never through a link, and the file is kept afterwards: removing it would
  // let a third run lock a new file while a second still holds the old one.
  // Not waiting on a FIFO planted under its name.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    error = "cannot open the lock file " + path + ": " + std::strerror(errno);
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno;
    if (code == EWOULDBLOCK) {
      lock.held_elsewhere = true;
      char text[32] = {};
      const ssize_t n = pread(fd, text, sizeof text - 1, 0);
      std::string pid = n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
      while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
      if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) pid = "unknown";
      error = "another run (process " + pid + ") is using this directory's results; " + path + " is locked";
    } else {
      error = "cannot lock " + path + ": " + std::strerror(code);
    }
    close(fd);
    return false;
  }
  // Only to name this process to another run; on a full disk the lock holds
  // all the same.
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) == 0) [[maybe_unused]] const ssize_t n = pwrite(fd, pid.data(), pid.size(), 0);
  lock.fd = fd;
  return true;
}
