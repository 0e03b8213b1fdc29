// A tmpfs of a test's own, mounted only when the test runs as root (and the
// system lets it), for filling a device in the middle of a run.
#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct Tmpfs {
  std::filesystem::path dir;
  bool mounted = false;
  Tmpfs(const std::filesystem::path& at, const std::string& options) : dir(at) {
    std::filesystem::create_directories(dir);
    mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~Tmpfs() {
    if (mounted) umount2(dir.c_str(), MNT_DETACH);
  }
  Tmpfs(const Tmpfs&) = delete;
  Tmpfs& operator=(const Tmpfs&) = delete;
  // Fills the device, then frees `pages` pages of 4096 bytes.
  void fill_leaving(int pages) const {
    const int fd = open((dir / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char> page(4096, 'f');
    off_t size = 0;
    while (write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size())) size += 4096;
    EXPECT_EQ(ftruncate(fd, size - 4096 * static_cast<off_t>(pages)), 0);
    close(fd);
  }
  void free_all() const { std::filesystem::remove(dir / "filler"); }
};
