// The console writing into a pipe: plain UTF-8 text and line feeds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "runtime/console.hpp"
#include "runtime/runtime_state.hpp"
#include "runtime/stream_screen.hpp"

namespace {

class ConsoleStream : public ::testing::Test {
 protected:
  int pipe_fds[2] = {-1, -1};
  StreamScreen* stream = nullptr;
  void SetUp() override {
    ASSERT_EQ(pipe2(pipe_fds, O_NONBLOCK), 0);
    stream = new StreamScreen(pipe_fds[1]);
    runtime_state().pending_scroll = false;
    console_install(stream);
  }
  void TearDown() override {
    console_install(nullptr);
    delete stream;
    close(pipe_fds[0]);
    close(pipe_fds[1]);
  }
  std::string output() {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    return out;
  }
};

TEST_F(ConsoleStream, ReportLineComesOutAsUtf8AndOneLineFeed) {
  // A report line is printed in pieces, as the sweep does.
  for (const char* piece : {" .99875", "    ", "-0.1234567", " ", "\xF1", " ", ".0012", "    ", "-3.5"}) {
    console_print(piece);
  }
  console_newline();
  EXPECT_EQ(output(), " .99875    -0.1234567 \xC2\xB1 .0012    -3.5\n");
}

TEST_F(ConsoleStream, LongLinesAreNotBroken) {
  const std::string text(1000, 'x');
  console_print(text);
  console_print(text);
  console_newline();
  EXPECT_EQ(output(), text + text + "\n");
  EXPECT_FALSE(runtime_state().pending_scroll);
}

TEST_F(ConsoleStream, LineFeedByteIsAGlyphNotANewLine) {
  console_print("a\nb");
  console_newline();
  console_newline();
  EXPECT_EQ(output(), "a\xE2\x97\x99" "b\n\n");
}

TEST_F(ConsoleStream, ClearTitleAndCursorWriteNothing) {
  console_print("a");
  console_clear();
  console_set_title("flock");
  console_set_cursor(5, 5);
  console_print("b");
  EXPECT_EQ(output(), "ab");
  EXPECT_EQ(console_get_title(), "flock");
}

}  // namespace
