#include "app/files/whole_append.hpp"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "app/files/checksum.hpp"
#include "runtime/replace_file.hpp"

bool append_whole(int fd, const std::string& path, std::string_view text, std::uint32_t& crc, std::string& error) {
  std::string reason;
  struct stat before {};
  if (fstat(fd, &before) != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  if (write_all(fd, text.data(), text.size(), reason)) {
    crc = crc_of(text, crc);
    return true;
  }
  if (ftruncate(fd, before.st_size) != 0)
    reason += "; the cut lines could not be taken back: " + std::string(std::strerror(errno));
  error = "cannot write " + path + ": " + reason;
  return false;
}
