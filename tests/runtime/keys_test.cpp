#include "runtime/keys.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "runtime/runtime_state.hpp"

namespace {

TEST(Keys, PollTakesKeysInOrderWithoutWaiting) {
  key_input_use_fake();
  EXPECT_EQ(key_poll(), "");
  key_input_feed("\x1bOP");
  key_input_feed("\x1b");
  key_input_feed("x");
  EXPECT_EQ(key_poll(), std::string("\0\x3B", 2));
  EXPECT_EQ(key_poll(), "\x1b");
  EXPECT_EQ(key_poll(), "x");
  EXPECT_EQ(key_poll(), "");
}

TEST(Keys, WaitReturnsAKeyFedLater) {
  key_input_use_fake();
  std::thread feeder([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    key_input_feed("k");
  });
  EXPECT_EQ(key_wait(), "k");
  feeder.join();
}

TEST(Keys, EndedInputGivesNoKeyAndNoWait) {
  key_input_use_fake();
  key_input_feed("a");
  key_input_end();
  EXPECT_EQ(key_wait(), "a");  // what came before the end is still read
  EXPECT_EQ(key_wait(), "");
  EXPECT_EQ(key_poll(), "");
}

TEST(Keys, NoTerminalInputGivesNoKeyAndNoWait) {
  key_input_use_fake();
  key_input_feed("a");
  // Standard input as program_entry found it: not a terminal here.
  ASSERT_FALSE(runtime_state().stdin_is_terminal);
  key_input_use_fake(false);
  EXPECT_EQ(key_poll(), "");
  EXPECT_EQ(key_wait(), "");
  key_input_use_fake();
}

TEST(Keys, CursorReportIsNotAKeyWhileAwaited) {
  key_input_use_fake();
  key_input_expect_cursor_report();
  key_input_feed("z\x1b[7;21R");
  CellPosition p{-1, -1};
  ASSERT_TRUE(key_input_cursor_report(1000, p));
  EXPECT_EQ(p.column, 20);
  EXPECT_EQ(p.row, 6);
  EXPECT_EQ(key_poll(), "z");
  EXPECT_EQ(key_poll(), "");
  // Unasked for, the same bytes are F3 with a modifier.
  key_input_feed("\x1b[1;2R");
  EXPECT_EQ(key_poll(), std::string("\0\x3D", 2));
}

TEST(Keys, LateCursorReportIsStillKeptOut) {
  key_input_use_fake();
  key_input_expect_cursor_report();
  CellPosition p{};
  EXPECT_FALSE(key_input_cursor_report(10, p));
  key_input_feed("\x1b[3;4R");
  EXPECT_EQ(key_poll(), "");
}

}  // namespace
