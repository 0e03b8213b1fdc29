// run_command against real processes (the helper programs of tests/helpers).
#include "runtime/process.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/errors.hpp"

namespace {

const std::string Helpers = FLOCKCHASE_BINARY_DIR "/tests/helpers/";

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool wait_for_file(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    if (access(path.c_str(), F_OK) == 0 && !read_file(path).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Each test runs in a scratch directory of its own with the helper programs
// first on PATH, so that command lines stay short wherever the build is.
class RunCommand : public ::testing::Test {
 protected:
  std::string dir;
  std::string old_path;
  char old_cwd[4096] = {};
  void SetUp() override {
    char pattern[] = "/tmp/flockchase-process-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    old_path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    setenv("PATH", (Helpers + ":" + old_path).c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", old_path.c_str(), 1);
    ASSERT_EQ(chdir(old_cwd), 0);
    std::filesystem::remove_all(dir);
  }
};

TEST_F(RunCommand, WaitingGivesTheExitCode) {
  clear_error();
  EXPECT_EQ(run_command("exit_with_code 3", RunWait | 1, 0), 3);
  EXPECT_EQ(run_command("exit_with_code 0", RunWait, 0), 0);
  EXPECT_EQ(run_command("exit_with_code 255", RunWait, 0), 255);
  EXPECT_EQ(last_error(), 0);
}

TEST_F(RunCommand, EndedBySignalGives128PlusSignal) {
  EXPECT_EQ(run_command("exit_with_code signal 15", RunWait, 0), 128 + SIGTERM);
}

TEST_F(RunCommand, WithoutWaitingGivesTheProcessId) {
  const std::string record = dir + "/pid";
  clear_error();
  const std::int32_t pid = run_command("record_arguments " + record, 1, 0);
  EXPECT_GT(pid, 0);
  EXPECT_EQ(last_error(), 0);
  ASSERT_TRUE(wait_for_file(record));
  EXPECT_EQ(read_file(record), std::to_string(pid) + "\n");
  // Nobody waits for it, yet it does not stay behind as a zombie.
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    gone = access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);
}

TEST_F(RunCommand, FoundAlongPath) {
  EXPECT_EQ(run_command("true", RunWait, 0), 0);
  EXPECT_EQ(run_command("false", RunWait, 0), 1);
}

TEST_F(RunCommand, FailuresRaiseTheMappedErrorAndGiveZero) {
  const std::string not_executable = dir + "/plain";
  std::ofstream(not_executable) << "data\n";
  chmod(not_executable.c_str(), 0644);
  struct Case {
    std::string command_line;
    int options;
    int error;
  };
  const Case cases[] = {
      {"flockchase-no-such-program-here", RunWait, 53},
      {"flockchase-no-such-program-here x", 1, 53},
      {"/no/such/dir/program", RunWait, 53},
      {not_executable, RunWait, 70},
      {"", RunWait, 53},
      {"   ", RunWait, 53},
  };
  for (const Case& c : cases) {
    clear_error();
    EXPECT_EQ(run_command(c.command_line, c.options, 0), 0) << c.command_line;
    EXPECT_EQ(last_error(), c.error) << c.command_line;
  }
}

// Shell syntax is only text: the named program runs with those words as
// its arguments and nothing else happens.
TEST_F(RunCommand, NoShellIsInvolved) {
  const std::string words[] = {";",  "touch", "m1", "$(touch", "m2)", "|", "touch", "m3", "`touch", "m4`",
                               "&&", "'quoted", "word'", "*", ">", "m5", "$HOME", "~", "2>&1", "\\"};
  std::string line = "record_arguments args";
  std::string expected;
  for (const std::string& w : words) {
    line += " " + w;
    expected += w + "\n";
  }
  EXPECT_EQ(run_command(line, RunWait, 0), 0);
  const std::string recorded = read_file("args");
  EXPECT_EQ(recorded.substr(recorded.find('\n') + 1), expected);
  for (const char* marker : {"m1", "m2", "m3", "m4", "m5", "m2)", "m4`"}) {
    EXPECT_NE(access(marker, F_OK), 0) << marker;
  }
}

TEST_F(RunCommand, LongCommandLineIsCutTo256Bytes) {
  const std::string record = "long";
  std::string line = "record_arguments " + record + "  a ";
  const std::size_t keep = CommandLineLimit - line.size();
  line += std::string(400, 'b');
  ASSERT_EQ(run_command(line, RunWait, 0), 0);
  const std::string recorded = read_file(record);
  EXPECT_EQ(recorded.substr(recorded.find('\n') + 1), "a\n" + std::string(keep, 'b') + "\n");
}

TEST(CommandWords, Table) {
  using Words = std::vector<std::string>;
  const std::pair<std::string, Words> cases[] = {
      {"picvec flock", {"picvec", "flock"}},
      {"picvec ", {"picvec"}},
      {"  a   b  ", {"a", "b"}},
      {"", {}},
      {"a\tb", {"a\tb"}},
      {std::string("a b\0c d", 7), {"a", "b"}},
      {"\"x y\"", {"\"x", "y\""}},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(command_words(line), words) << line;
  EXPECT_EQ(command_words(std::string(300, 'x')), Words{std::string(256, 'x')});
}

TEST_F(RunCommand, InheritFlagDecidesOnOpenDescriptors) {
  // Opened without close-on-exec, so only the flag keeps it from the child.
  int fd = open("/dev/null", O_RDONLY);
  ASSERT_GE(fd, 3);
  const std::string line = "report_descriptor " + std::to_string(fd);
  EXPECT_EQ(run_command(line, RunWait, 0), 1);
  EXPECT_EQ(run_command(line, RunWait, 1), 0);
  EXPECT_EQ(run_command("report_descriptor 2", RunWait, 0), 0);  // standard error stays
  close(fd);
}

TEST_F(RunCommand, ChildGetsDefaultSignals) {
  // The console ignores Ctrl+C's signal; a started program must not inherit that.
  auto old = std::signal(SIGTERM, SIG_IGN);
  EXPECT_EQ(run_command("exit_with_code signal 15", RunWait, 0), 128 + SIGTERM);
  std::signal(SIGTERM, old);
}

}  // namespace
