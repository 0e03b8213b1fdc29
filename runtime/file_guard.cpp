#include "runtime/file_guard.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

std::string describe(int code) {
  char buffer[256];
  return strerror_r(code, buffer, sizeof buffer);
}

std::string kind_text(mode_t mode) {
  if (S_ISDIR(mode)) return "is a folder, not a regular file";
  if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
  if (S_ISCHR(mode)) return "is a character device, not a regular file";
  if (S_ISBLK(mode)) return "is a block device, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  return "is not a regular file";
}

// Back to blocking reads and writes once the file is known to be what it
// should be.
bool clear_nonblock(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// An opened descriptor kept when what it reaches is of a kind `wanted`
// takes (and no larger than `limit`), put back into blocking mode; otherwise
// closed, with the reason.
int keep_if(int fd, bool (*wanted)(mode_t), std::size_t limit, std::string& reason) {
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    reason = describe(errno);
  } else if (!wanted(info.st_mode)) {
    reason = kind_text(info.st_mode);
  } else if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) > limit) {
    reason = "too large (" + std::to_string(info.st_size) + " bytes, at most " + std::to_string(limit) + ")";
  } else if (!clear_nonblock(fd)) {
    reason = describe(errno);
  } else {
    return fd;
  }
  close(fd);
  return -1;
}

bool is_regular(mode_t mode) { return S_ISREG(mode); }
bool is_stream(mode_t mode) { return S_ISCHR(mode) || S_ISFIFO(mode); }

}  // namespace

PathKind path_kind(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return PathKind::Missing;
  if (S_ISREG(info.st_mode)) return PathKind::Regular;
  if (S_ISDIR(info.st_mode)) return PathKind::Directory;
  if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) return PathKind::Stream;
  return PathKind::Other;
}

int open_regular_input(const std::string& path, std::size_t limit, std::string& reason) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    reason = describe(errno);
    return -1;
  }
  return keep_if(fd, is_regular, limit, reason);
}

bool read_regular_file(const std::string& path, std::size_t limit, std::string& text, std::string& reason) {
  const int fd = open_regular_input(path, limit, reason);
  if (fd < 0) return false;
  text.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = describe(errno);
      break;
    }
    if (n == 0) {
      close(fd);
      return true;
    }
    // A file that grows while it is read is held to the same bound.
    if (text.size() + static_cast<std::size_t>(n) > limit) {
      reason = "too large (more than " + std::to_string(limit) + " bytes)";
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return false;
}

int open_stream_output(const std::string& path, std::string& reason) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    reason = errno == ENXIO ? "a FIFO that no process reads" : describe(errno);
    return -1;
  }
  return keep_if(fd, is_stream, SIZE_MAX, reason);
}

int open_regular_append(const std::string& path, std::string& reason) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    reason = errno == ELOOP ? "is a symbolic link; appends never go through a link" : describe(errno);
    return -1;
  }
  return keep_if(fd, is_regular, SIZE_MAX, reason);
}

FileIdentity identity_of(const std::string& path) {
  FileIdentity id;
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    id.exists = true;
    id.device = info.st_dev;
    id.inode = info.st_ino;
    return id;
  }
  std::string folder = ".", name = path;
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos) {
    folder = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
  id.name = name;
  if (stat(folder.c_str(), &info) == 0) {
    id.device = info.st_dev;
    id.inode = info.st_ino;
  }
  return id;
}

bool same_file(const FileIdentity& a, const FileIdentity& b) {
  // A name whose folder is not there either is no file at all.
  if (a.device == 0 && a.inode == 0) return false;
  return a.exists == b.exists && a.device == b.device && a.inode == b.inode && a.name == b.name;
}
