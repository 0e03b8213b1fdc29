// The console on real terminals: the demo program of tests/helpers runs in
// tmux (a terminal emulator whose screen can be read back), and with its
// output in a file.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string Demo = FLOCKCHASE_BINARY_DIR "/tests/helpers/console_demo";
constexpr int Width = 30;
constexpr int Height = 8;

std::string run(const std::string& command) {
  std::string out;
  if (std::FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

class Terminal : public ::testing::Test {
 protected:
  std::string socket;
  std::string config;

  void SetUp() override {
    static int count = 0;
    socket = "flockchase-test-" + std::to_string(getpid()) + "-" + std::to_string(++count);
    config = "/tmp/" + socket + ".conf";
    std::ofstream(config) << "set -g remain-on-exit on\nset -g history-limit 100\n";
  }
  void TearDown() override {
    run(tmux() + " kill-server 2>/dev/null");
    std::remove(config.c_str());
  }
  std::string tmux() const { return "tmux -u -L " + socket + " -f " + config; }

  // Starts `command` in a pane of Width x Height cells.
  void start(const std::string& command) {
    run(tmux() + " new-session -d -s demo -x " + std::to_string(Width) + " -y " + std::to_string(Height) + " '" +
        command + "'");
  }
  void start_demo(const std::string& scene) { start("exec " + Demo + " " + scene); }

  std::vector<std::string> screen(const std::string& options = "") {
    return lines_of(run(tmux() + " capture-pane -p " + options + " -t demo"));
  }
  std::string display(const std::string& format) {
    std::string out = run(tmux() + " display-message -p -t demo '" + format + "'");
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  void send(const std::string& keys) { run(tmux() + " send-keys -t demo " + keys); }

  // Waits until some row, history included, is exactly `text`.
  bool wait_for_row(const std::string& text) {
    for (int i = 0; i < 500; ++i) {
      for (const std::string& row : screen("-S -100")) {
        if (row == text) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
};

TEST_F(Terminal, LinesWrapAndShowCodePage437Glyphs) {
  start_demo("lines");
  ASSERT_TRUE(wait_for_row("ready"));
  const std::vector<std::string> expected = {
      "first", "012345678901234567890123456789", "0123", "0.5 \u00B1 0.25", "lf:\u25D9:end", "ready", "", "",
  };
  EXPECT_EQ(screen(), expected);
  EXPECT_EQ(display("#{cursor_x},#{cursor_y}"), "0,6");
  EXPECT_EQ(display("#{pane_title}"), "demo title");
}

TEST_F(Terminal, KeysArriveAsKeyResults) {
  start_demo("lines");
  ASSERT_TRUE(wait_for_row("ready"));
  const std::pair<const char*, const char*> cases[] = {
      {"F1", "key 00 3B"},    {"Escape", "key 1B"},   {"Up", "key 00 48"},  {"M-a", "key 00 1E"},
      {"F12", "key 00 86"},   {"PPage", "key 00 49"}, {"DC", "key 00 53"},  {"Home", "key 00 47"},
      {"End", "key 00 4F"},   {"IC", "key 00 52"},    {"F5", "key 00 3F"},  {"-l x", "key 78"},
      {"Enter", "key 0D"},    {"C-c", "key 03"},      {"BSpace", "key 08"}, {"-l \u00E9", "key 82"},
      {"Escape", "key 1B"},
  };
  for (const auto& [keys, shown] : cases) {
    send(keys);
    EXPECT_TRUE(wait_for_row(shown)) << keys;
    send("-l .");  // a separator, so that the next key is told apart
    EXPECT_TRUE(wait_for_row("key 2E"));
    run(tmux() + " clear-history -t demo");
  }
  send("q");
  EXPECT_TRUE(wait_for_row("key 71"));
}

TEST_F(Terminal, ScrolledLinesGoToTheHistory) {
  start_demo("scroll");
  ASSERT_TRUE(wait_for_row("ready"));
  const std::vector<std::string> visible = {"line 7", "line 8", "line 9", "line 10", "line 11", "line 12", "ready", ""};
  EXPECT_EQ(screen(), visible);
  const std::vector<std::string> history = {"line 1", "line 2", "line 3", "line 4", "line 5", "line 6"};
  EXPECT_EQ(screen("-S -6 -E -1"), history);
}

TEST_F(Terminal, NewlineAfterAFilledLastRowLeavesOneEmptyLine) {
  start_demo("fill");
  ASSERT_TRUE(wait_for_row("ready"));
  const std::vector<std::string> rows = screen();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(Height));
  EXPECT_EQ(rows[3], std::string(Width, '#'));
  EXPECT_EQ(rows[4], "");
  EXPECT_EQ(rows[5], "next");
  EXPECT_EQ(rows[6], "ready");
}

TEST_F(Terminal, AttributeBecomesColours) {
  start_demo("colour");
  ASSERT_TRUE(wait_for_row("ready"));
  const std::vector<std::string> rows = screen("-e");
  ASSERT_GE(rows.size(), 2u);
  const std::string& coloured = rows[0];
  const std::size_t text = coloured.find("yellow on blue");
  ASSERT_NE(text, std::string::npos);
  EXPECT_NE(coloured.substr(0, text).find("93"), std::string::npos) << coloured;  // bright yellow
  EXPECT_NE(coloured.substr(0, text).find("44"), std::string::npos) << coloured;  // blue
  EXPECT_EQ(rows[1].find("93"), std::string::npos) << rows[1];
}

TEST_F(Terminal, OutputContinuesWhereTheTerminalCursorWas) {
  start("printf \"one\\ntwo\\n\"; exec " + Demo + " continue");
  ASSERT_TRUE(wait_for_row("ready"));
  const std::vector<std::string> rows = screen();
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[0], "one");
  EXPECT_EQ(rows[1], "two");
  EXPECT_EQ(rows[2], "continued");
  EXPECT_EQ(rows[3], "ready");
}

TEST_F(Terminal, OutputOfAStartedProgramIsNotOverwritten) {
  start_demo("child");
  ASSERT_TRUE(wait_for_row("ready"));
  const std::vector<std::string> rows = screen();
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[0], "before");
  EXPECT_EQ(rows[1], "child");
  EXPECT_EQ(rows[2], "after");
  EXPECT_EQ(rows[3], "ready");
}

// Runs the demo on a pseudo-terminal of its own, answers "ready" with "q"
// and returns all it wrote; `status` gets its exit status.
std::string run_on_pty(const char* term, int& status) {
  int master = -1;
  winsize size{Height, Width, 0, 0};
  pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) return "forkpty failed";
  if (pid == 0) {
    setenv("TERM", term, 1);
    execl(Demo.c_str(), Demo.c_str(), "lines", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string out;
  bool sent = false;
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) break;
    char buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the program has ended
    out.append(buffer, static_cast<std::size_t>(n));
    if (!sent && out.find("ready") != std::string::npos) {
      sent = write(master, "q", 1) == 1;
    }
  }
  waitpid(pid, &status, 0);
  close(master);
  return out;
}

// The last bytes the program sends put the terminal back: default colours,
// the cursor shown, the title it had before.
TEST(ConsolePty, TerminalIsPutBackAtTheEnd) {
  int status = 0;
  const std::string out = run_on_pty("xterm", status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string reset = "\x1b[0m\x1b[?25h\x1b[23;0t";
  ASSERT_GE(out.size(), reset.size());
  EXPECT_EQ(out.substr(out.size() - reset.size()), reset);
  EXPECT_NE(out.find("key 71"), std::string::npos);
}

// A terminal that cannot move its cursor gets plain lines.
TEST(ConsolePty, DumbTerminalGetsPlainText) {
  int status = 0;
  const std::string out = run_on_pty("dumb", status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // The terminal turns each line feed into CR LF.
  EXPECT_EQ(out,
            "first\r\n"
            "0123456789012345678901234567890123\r\n"
            "0.5 \u00B1 0.25\r\n"
            "lf:\u25D9:end\r\n"
            "ready\r\n"
            "key 71\r\n");
}

// Output into a file is plain UTF-8 text with a line feed per new line, and
// waiting for a key ends at once when standard input is no terminal.
TEST(ConsoleFile, StreamModeWritesPlainText) {
  char path[] = "/tmp/flockchase-console-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  const int status = std::system((Demo + " lines < /dev/null > " + path).c_str());
  std::ifstream in(path);
  std::stringstream content;
  content << in.rdbuf();
  std::remove(path);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(content.str(),
            "first\n"
            "0123456789012345678901234567890123\n"
            "0.5 \u00B1 0.25\n"
            "lf:\u25D9:end\n"
            "ready\n");
}

}  // namespace
