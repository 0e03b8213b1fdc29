#include "runtime/key_decoder.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string k(unsigned char scan) { return std::string("\0", 1) + static_cast<char>(scan); }
std::string c(char ch) { return std::string(1, ch); }

std::vector<std::string> keys_of(std::string_view bytes) {
  std::vector<std::string> keys;
  for (const KeyInputItem& item : decode_key_input(bytes)) keys.push_back(item.key);
  return keys;
}

TEST(DecodeKeyInput, Table) {
  struct Case {
    std::string bytes;
    std::vector<std::string> keys;
  };
  const Case cases[] = {
      {"a", {"a"}},
      {"Ab1", {"A", "b", "1"}},
      {"\x1b", {c(27)}},
      {"\x1b\x1b", {c(27), c(27)}},
      {"\r", {"\r"}},
      {"\t", {"\t"}},
      {"\x7f", {"\b"}},
      {"\x03", {c(3)}},  // Ctrl+C is a key like any other
      {std::string("\0", 1), {k(0x03)}},
      // F1 to F12 in the forms xterm, VTE, tmux and the Linux console send.
      {"\x1bOP", {k(0x3B)}},
      {"\x1bOQ", {k(0x3C)}},
      {"\x1bOR", {k(0x3D)}},
      {"\x1bOS", {k(0x3E)}},
      {"\x1b[11~", {k(0x3B)}},
      {"\x1b[12~", {k(0x3C)}},
      {"\x1b[13~", {k(0x3D)}},
      {"\x1b[14~", {k(0x3E)}},
      {"\x1b[15~", {k(0x3F)}},
      {"\x1b[17~", {k(0x40)}},
      {"\x1b[18~", {k(0x41)}},
      {"\x1b[19~", {k(0x42)}},
      {"\x1b[20~", {k(0x43)}},
      {"\x1b[21~", {k(0x44)}},
      {"\x1b[23~", {k(0x85)}},
      {"\x1b[24~", {k(0x86)}},
      {"\x1b[[A", {k(0x3B)}},
      {"\x1b[[E", {k(0x3F)}},
      {"\x1b[1;2P", {k(0x3B)}},  // Shift+F1: the scan code of the key
      {"\x1bO2P", {k(0x3B)}},
      {"\x1b[15;5~", {k(0x3F)}},
      // Cursor and editing keys.
      {"\x1b[A", {k(0x48)}},
      {"\x1b[B", {k(0x50)}},
      {"\x1b[C", {k(0x4D)}},
      {"\x1b[D", {k(0x4B)}},
      {"\x1bOA", {k(0x48)}},
      {"\x1bOD", {k(0x4B)}},
      {"\x1b[1;5A", {k(0x48)}},
      {"\x1b[H", {k(0x47)}},
      {"\x1b[F", {k(0x4F)}},
      {"\x1bOH", {k(0x47)}},
      {"\x1bOF", {k(0x4F)}},
      {"\x1b[1~", {k(0x47)}},
      {"\x1b[4~", {k(0x4F)}},
      {"\x1b[7~", {k(0x47)}},
      {"\x1b[8~", {k(0x4F)}},
      {"\x1b[2~", {k(0x52)}},
      {"\x1b[3~", {k(0x53)}},
      {"\x1b[5~", {k(0x49)}},
      {"\x1b[6~", {k(0x51)}},
      {"\x1b[E", {k(0x4C)}},
      {"\x1b[Z", {"\t"}},
      {"\x1bOM", {"\r"}},
      // Alt with a letter: the letter key's scan code, whatever the case.
      {"\x1b" "a", {k(0x1E)}},
      {"\x1bZ", {k(0x2C)}},
      {"\x1bq", {k(0x10)}},
      {"\x1bp", {k(0x19)}},
      {"\x1bm", {k(0x32)}},
      {"\x1bl", {k(0x26)}},
      {"\x1bO", {k(0x18)}},  // Alt+O alone, not the start of SS3
      // Alt with any other key gives that key's character.
      {"\x1b" "1", {"1"}},
      {"\x1b[", {"["}},
      {"\x1b\r", {"\r"}},
      // Several keys in one burst.
      {"\x1bOP\x1b", {k(0x3B), c(27)}},
      {"\x1b[A\x1b[B" "x", {k(0x48), k(0x50), "x"}},
      {"\x1b\x1b[A", {c(27), k(0x48)}},
      // Sequences that are no key are dropped, and what follows still counts.
      {"\x1b[?1;2c" "x", {"x"}},
      {"\x1b[<0;3;4M", {}},
      {"\x1b[99~", {}},
      {"\x1b[1", {}},
      {"\x1bOz", {}},
      // Characters arrive as UTF-8 and become code page 437 bytes.
      {"\xC3\xA9", {"\x82"}},
      {"\xC2\xB1", {"\xF1"}},
      {"\xE2\x82\xAC", {}},  // the euro sign has no byte
      {"\x1b\xC3\xA9", {"\x82"}},
      {"\xE9", {"\xE9"}},  // not UTF-8: the byte itself
  };
  for (const Case& t : cases) {
    std::string shown;
    for (unsigned char b : t.bytes) shown += std::to_string(b) + " ";
    EXPECT_EQ(keys_of(t.bytes), t.keys) << shown;
  }
}

TEST(DecodeKeyInput, EveryLetterHasItsScanCode) {
  const std::string rows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
  const unsigned char first[] = {0x10, 0x1E, 0x2C};
  for (int r = 0; r < 3; ++r) {
    for (std::size_t i = 0; i < rows[r].size(); ++i) {
      const unsigned char code = static_cast<unsigned char>(first[r] + i);
      EXPECT_EQ(keys_of(std::string("\x1b") + rows[r][i]), std::vector<std::string>{k(code)}) << rows[r][i];
      EXPECT_EQ(letter_scan_code(static_cast<unsigned char>(rows[r][i] - 'a' + 'A')), code);
    }
  }
  EXPECT_EQ(letter_scan_code('1'), 0);
}

TEST(DecodeKeyInput, CursorReportIsMarked) {
  auto items = decode_key_input("\x1b[12;40R");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_TRUE(items[0].cursor_report);
  EXPECT_EQ(items[0].row, 12);
  EXPECT_EQ(items[0].column, 40);
  EXPECT_EQ(items[0].key, k(0x3D));
  items = decode_key_input("\x1bOR");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_FALSE(items[0].cursor_report);
}

TEST(KeyInputIncomplete, Table) {
  const std::pair<std::string, bool> cases[] = {
      {"", false},         {"a", false},         {"\x1b", true},        {"\x1b[", true},
      {"\x1b[1", true},    {"\x1b[1;5", true},   {"\x1b[A", false},     {"\x1bO", true},
      {"\x1bOP", false},   {"\x1b[[", true},     {"\x1b[[A", false},    {"\x1b" "a", false},
      {"\xC3", true},      {"\xE2\x82", true},   {"\xE2\x82\xAC", false}, {"x\x1b[15~", false},
      {"\x1b[A\x1b", true},
  };
  for (const auto& [bytes, incomplete] : cases) EXPECT_EQ(key_input_incomplete(bytes), incomplete) << bytes.size();
}

}  // namespace
