// The console's cell rules on an in-memory screen.
#include "runtime/console.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "runtime/memory_screen.hpp"
#include "runtime/runtime_state.hpp"

namespace {

constexpr int W = 10;
constexpr int H = 4;

class Console : public ::testing::Test {
 protected:
  MemoryScreen screen{W, H};
  void SetUp() override {
    runtime_state().foreground = 7;
    runtime_state().background = 0;
    runtime_state().pending_scroll = false;
    console_install(&screen);
  }
  void TearDown() override {
    console_install(nullptr);
    runtime_state().pending_scroll = false;
  }
  // Row text without trailing spaces.
  std::string row(int r) const {
    std::string text = screen.row_text(r);
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }
  CellPosition cursor() const { return console_cursor(); }
};

void expect_cursor(CellPosition actual, int column, int row) {
  EXPECT_EQ(actual.column, column);
  EXPECT_EQ(actual.row, row);
}

TEST_F(Console, FullRowFromAMiddleRowMovesToTheNextRow) {
  console_set_cursor(1, 2);
  console_print("0123456789");
  expect_cursor(cursor(), 1, 3);
  EXPECT_FALSE(runtime_state().pending_scroll);
  EXPECT_EQ(screen.scrolls(), 0);
  EXPECT_EQ(row(1), "0123456789");
  EXPECT_EQ(row(2), "");
}

TEST_F(Console, FullLastRowWaitsWithItsScroll) {
  console_print("top");
  console_set_cursor(1, H);
  console_print("0123456789");
  expect_cursor(cursor(), 1, H);
  EXPECT_TRUE(runtime_state().pending_scroll);
  EXPECT_EQ(screen.scrolls(), 0);
  EXPECT_EQ(row(0), "top");
  EXPECT_EQ(row(H - 1), "0123456789");

  console_print("x");  // the next byte scrolls first
  EXPECT_EQ(screen.scrolls(), 1);
  EXPECT_FALSE(runtime_state().pending_scroll);
  EXPECT_EQ(row(H - 2), "0123456789");
  EXPECT_EQ(row(H - 1), "x");
  expect_cursor(cursor(), 2, H);
}

TEST_F(Console, PendingScrollSurvivesAnEmptyPrint) {
  console_set_cursor(1, H);
  console_print("0123456789");
  console_print("");
  EXPECT_TRUE(runtime_state().pending_scroll);
  EXPECT_EQ(screen.scrolls(), 0);
}

// A new line after a full row leaves one empty line, on the last row as on
// any other.
TEST_F(Console, NewlineAfterAFullRowLeavesOneEmptyLine) {
  for (int start_row : {1, H}) {
    SetUp();
    screen.fill(7);
    console_set_cursor(1, start_row);
    console_print("0123456789");
    console_newline();
    console_print("z");
    const CellPosition c = cursor();
    EXPECT_EQ(row(c.row - 1), "z") << start_row;
    EXPECT_EQ(row(c.row - 2), "") << start_row;
    EXPECT_EQ(row(c.row - 3), "0123456789") << start_row;
    EXPECT_FALSE(runtime_state().pending_scroll);
  }
  EXPECT_EQ(screen.scrolls(), 2);  // both in the last-row case
}

TEST_F(Console, NewlineOnTheLastRowScrollsOnce) {
  console_set_cursor(4, H);
  console_print("ab");
  console_newline();
  EXPECT_EQ(screen.scrolls(), 1);
  expect_cursor(cursor(), 1, H);
  EXPECT_EQ(row(H - 2), "   ab");
  EXPECT_EQ(row(H - 1), "");
}

TEST_F(Console, NewlineOnAMiddleRowOnlyMovesDown) {
  console_set_cursor(5, 2);
  console_newline();
  expect_cursor(cursor(), 1, 3);
  EXPECT_EQ(screen.scrolls(), 0);
}

TEST_F(Console, ControlBytesAreCellsNotActions) {
  console_print(std::string("a\nb\r\t\a") + '\xF1');
  EXPECT_EQ(screen.row_text(0).substr(0, 7), std::string("a\nb\r\t\a") + '\xF1');
  expect_cursor(cursor(), 8, 1);
  EXPECT_EQ(screen.scrolls(), 0);
}

TEST_F(Console, LongTextWrapsAndScrolls) {
  console_set_cursor(1, H - 1);
  const std::string text = "aaaaaaaaaabbbbbbbbbbccccc";
  console_print(text);
  EXPECT_EQ(screen.scrolls(), 1);
  EXPECT_EQ(row(H - 3), "aaaaaaaaaa");
  EXPECT_EQ(row(H - 2), "bbbbbbbbbb");
  EXPECT_EQ(row(H - 1), "ccccc");
  expect_cursor(cursor(), 6, H);
}

TEST_F(Console, TextWrapsFromTheMiddleOfARow) {
  console_set_cursor(8, 1);
  console_print("hello");
  EXPECT_EQ(row(0), "       hel");
  EXPECT_EQ(row(1), "lo");
  expect_cursor(cursor(), 3, 2);
}

TEST_F(Console, CellsTakeTheCurrentAttribute) {
  runtime_state().foreground = 14;
  runtime_state().background = 1;
  console_print("ab");
  EXPECT_EQ(screen.cell(0, 0).attribute, 0x1E);
  EXPECT_EQ(screen.cell(1, 0).attribute, 0x1E);
  EXPECT_EQ(screen.cell(2, 0).attribute, 0x07);
}

TEST_F(Console, ScrollFillsTheNewRowInTheCurrentAttribute) {
  runtime_state().background = 4;
  console_set_cursor(1, H);
  console_newline();
  for (int c = 0; c < W; ++c) EXPECT_EQ(screen.cell(c, H - 1).attribute, 0x47);
}

TEST_F(Console, ClearLeavesSpacesWithAttribute7AndHomesTheCursor) {
  runtime_state().foreground = 14;
  runtime_state().background = 1;
  for (int i = 0; i < H; ++i) console_print("xxxxxxxxxx");
  ASSERT_TRUE(runtime_state().pending_scroll);
  runtime_state().foreground = 7;
  runtime_state().background = 0;
  console_clear();
  for (int r = 0; r < H; ++r) {
    for (int c = 0; c < W; ++c) {
      EXPECT_EQ(screen.cell(c, r).byte, ' ');
      EXPECT_EQ(screen.cell(c, r).attribute, 7);
    }
  }
  expect_cursor(cursor(), 1, 1);
  EXPECT_TRUE(screen.cursor_visible());
  EXPECT_FALSE(runtime_state().pending_scroll);
}

TEST_F(Console, ClearUsesTheCurrentAttribute) {
  runtime_state().foreground = 2;
  runtime_state().background = 5;
  console_clear();
  EXPECT_EQ(screen.cell(W - 1, H - 1).attribute, 0x52);
}

TEST_F(Console, CursorRuleKeepsTheCurrentValueForOutOfRangeOnes) {
  struct Case {
    int column, row, expected_column, expected_row;
  };
  const Case cases[] = {
      {5, 3, 5, 3},   {0, 3, 3, 3},   {W + 1, 3, 3, 3}, {5, 0, 5, 2},    {5, H + 1, 5, 2},
      {-1, -1, 3, 2}, {W, H, W, H},   {1, 1, 1, 1},     {-7, 4, 3, 4},   {0x7FFFFFFF, 1, 3, 1},
      {INT_MIN, INT_MIN, 3, 2},
  };
  for (const Case& c : cases) {
    console_set_cursor(3, 2);
    runtime_state().pending_scroll = true;
    console_set_cursor(c.column, c.row);
    const CellPosition p = cursor();
    EXPECT_EQ(p.column, c.expected_column) << c.column << "," << c.row;
    EXPECT_EQ(p.row, c.expected_row) << c.column << "," << c.row;
    EXPECT_FALSE(runtime_state().pending_scroll);
  }
}

TEST_F(Console, AShrunkScreenPullsTheCursorIn) {
  console_set_cursor(W, H);
  screen.resize(5, 2);
  console_print("ab");  // "a" fills the last row, "b" scrolls it up
  EXPECT_EQ(row(0), "    a");
  EXPECT_EQ(row(1), "b");
  expect_cursor(cursor(), 2, 2);
  EXPECT_FALSE(runtime_state().pending_scroll);
}

TEST_F(Console, TitleIsTheProgramPathUntilSet) {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  ASSERT_GT(n, 0);
  EXPECT_EQ(console_get_title(), std::string(path, static_cast<std::size_t>(n)));
  EXPECT_EQ(console_get_title().front(), '/');
  console_set_title("flock");
  EXPECT_EQ(console_get_title(), "flock");
  ASSERT_EQ(screen.titles().size(), 1u);
  EXPECT_EQ(screen.titles()[0], "flock");
  console_set_title("");
  EXPECT_EQ(console_get_title(), "");
}

}  // namespace
