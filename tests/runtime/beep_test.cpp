#include "runtime/beep.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

std::string read_available(int fd, int timeout_ms) {
  std::string out;
  pollfd p{fd, POLLIN, 0};
  while (poll(&p, 1, timeout_ms) > 0) {
    char buffer[64];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
    timeout_ms = 50;
  }
  return out;
}

// A child with a pseudo-terminal as its controlling terminal and standard
// output redirected to a file beeps: the bell goes to the terminal only.
TEST(Beep, RingsTheControllingTerminalNotRedirectedOutput) {
  char path[] = "/tmp/flockchase-beep-XXXXXX";
  int file = mkstemp(path);
  ASSERT_GE(file, 0);
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    ioctl(slave, TIOCSCTTY, 0);
    dup2(file, STDOUT_FILENO);
    beep();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(read_available(master, 2000), "\a");
  struct stat st {};
  fstat(file, &st);
  EXPECT_EQ(st.st_size, 0);
  close(master);
  close(slave);
  close(file);
  unlink(path);
}

TEST(Beep, WithoutTerminalOrDisplayDoesNothing) {
  char path[] = "/tmp/flockchase-beep-XXXXXX";
  int file = mkstemp(path);
  ASSERT_GE(file, 0);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();  // no controlling terminal any more
    unsetenv("DISPLAY");
    dup2(file, STDOUT_FILENO);
    beep();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  struct stat st {};
  fstat(file, &st);
  EXPECT_EQ(st.st_size, 0);
  close(file);
  unlink(path);
}

}  // namespace
