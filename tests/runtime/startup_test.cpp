#include <fcntl.h>
#include <csignal>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "runtime/errors.hpp"
#include "runtime/random.hpp"
#include "runtime/runtime_state.hpp"
#include "runtime/startup.hpp"

namespace {

TEST(RaiseError, ZeroIsRecordedAs51) {
  clear_error();
  raise_error(0);
  EXPECT_EQ(error_word(), 0xB033);
  raise_error(5);
  EXPECT_EQ(last_error(), 5);  // a later error overwrites the earlier one
  clear_error();
  EXPECT_EQ(error_word(), 0);
}

TEST(ErrorFromErrno, Mapping) {
  const std::pair<int, int> cases[] = {
      {0, 0},       {ENOENT, 53}, {ENOTDIR, 76}, {EACCES, 70}, {EPERM, 70}, {EROFS, 70}, {EBUSY, 70},
      {ENOMEM, 7},  {EINVAL, 5},  {ENOSPC, 61},  {EMFILE, 67}, {ENFILE, 67}, {EIO, 75},  {EAGAIN, 75},
  };
  for (auto [code, number] : cases) EXPECT_EQ(error_from_errno(code), number) << code;
}

TEST(CallPlatform, ReportsErrnoOfTheCall) {
  auto failed = call_platform([] { return access("/no/such/file", F_OK); });
  EXPECT_EQ(failed.value, -1);
  EXPECT_EQ(failed.code, ENOENT);
  EXPECT_EQ(failed.mapped, 53);
  auto fine = call_platform([] { return access("/", F_OK); });
  EXPECT_EQ(fine.value, 0);
  EXPECT_EQ(fine.mapped, 0);
}

TEST(CommandTail, JoinsArguments) {
  EXPECT_EQ(command_tail_of({"a", "b"}), "a b");
  EXPECT_EQ(command_tail_of({"a"}), "a");
  EXPECT_EQ(command_tail_of({}), "");
}

// A child runs program_entry with its standard streams on a pseudo-terminal;
// the parent keeps the terminal and checks its settings after the child ends.
struct Child {
  pid_t pid;
  int master;
  int slave;
};

Child spawn_on_pty(MainProcedure main) {
  Child c{};
  if (openpty(&c.master, &c.slave, nullptr, nullptr, nullptr) != 0) ADD_FAILURE() << "openpty";
  c.pid = fork();
  if (c.pid == 0) {
    setsid();
    ioctl(c.slave, TIOCSCTTY, 0);
    dup2(c.slave, 0);
    dup2(c.slave, 1);
    dup2(c.slave, 2);
    char name[] = "child";
    char* argv[] = {name, nullptr};
    program_entry(1, argv, main);
  }
  return c;
}

bool cooked(int fd) {
  termios t{};
  tcgetattr(fd, &t);
  return (t.c_lflag & (ICANON | ECHO | ISIG)) == (ICANON | ECHO | ISIG);
}

void wait_for_raw(int fd) {
  for (int i = 0; i < 500 && cooked(fd); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

int wait_status(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

int fatal_main(const MainArguments&) {
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  raise_error(241);
  return 0;
}

int slow_main(const MainArguments&) {
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  return 7;
}

int sleepy_main(const MainArguments&) {
  std::this_thread::sleep_for(std::chrono::seconds(30));
  return 0;
}

int state_main(const MainArguments&) {
  // The generator starts at its fixed state and the terminal is raw.
  if (random_state().state != 0xFFFFFFFFu) return 10;
  if (!runtime_state().stdin_is_terminal) return 11;
  Real x = 1.0L + 0x1p-63L;  // needs the 64-bit significand
  if (x == 1.0L) return 12;
  return 3;
}

TEST(ProgramEntry, ExitCodeIsMainsResult) {
  Child c = spawn_on_pty(&state_main);
  int status = wait_status(c.pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_TRUE(cooked(c.slave));
  close(c.master);
  close(c.slave);
}

TEST(ProgramEntry, FatalErrorExits255AndRestoresTerminal) {
  Child c = spawn_on_pty(&fatal_main);
  int status = wait_status(c.pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  EXPECT_TRUE(cooked(c.slave));
  close(c.master);
  close(c.slave);
}

TEST(ProgramEntry, CtrlCAndCtrlBackslashDoNotInterrupt) {
  Child c = spawn_on_pty(&slow_main);
  wait_for_raw(c.slave);
  ASSERT_FALSE(cooked(c.slave));
  ASSERT_EQ(write(c.master, "\x03\x1c", 2), 2);
  int status = wait_status(c.pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
  EXPECT_TRUE(cooked(c.slave));
  close(c.master);
  close(c.slave);
}

TEST(ProgramEntry, TerminateAndHangupRestoreTerminal) {
  for (int sig : {SIGTERM, SIGHUP}) {
    Child c = spawn_on_pty(&sleepy_main);
    wait_for_raw(c.slave);
    ASSERT_FALSE(cooked(c.slave));
    kill(c.pid, sig);
    int status = wait_status(c.pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_TRUE(cooked(c.slave)) << sig;
    close(c.master);
    close(c.slave);
  }
}

}  // namespace

namespace {

// With any of descriptors 0 to 2 closed, the next file opened still gets a
// descriptor above them. Each case runs in a child of its own.
TEST(ProgramEntry, ClosedStandardDescriptorsAreFilledBeforeAnythingIsOpened) {
  const std::vector<std::vector<int>> cases = {{0}, {1}, {2}, {1, 2}, {0, 1, 2}};
  for (const std::vector<int>& closed : cases) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int fd : closed) close(fd);
      if (!occupy_standard_descriptors()) _exit(10);
      const int file = open("/dev/null", O_RDONLY);
      for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1) _exit(11);
      _exit(file > 2 ? 0 : 12);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << closed.size() << " closed, status " << status;
  }
}

}  // namespace
