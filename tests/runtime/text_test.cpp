#include "runtime/text.hpp"

#include <gtest/gtest.h>

using namespace std::string_view_literals;

namespace {

TEST(StringMid, Cases) {
  struct Case {
    const char* s;
    int start, count;
    const char* expected;
  };
  const Case cases[] = {
      {"abc", 2, TextRest, "bc"}, {"abc", -1, TextRest, "c"}, {"abc", 0, TextRest, ""},
      {"abc", 4, TextRest, ""},   {"abcdef", 2, -2, "bcde"},  {"abc", -5, TextRest, ""},
      {"abc", 1, 0, ""},          {"abc", 1, 2, "ab"},        {"", 1, TextRest, ""},
      {"abc", -3, 1, "a"},        {"abc", 2, -5, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(string_mid(c.s, c.start, c.count), c.expected) << c.s << " " << c.start;
}

TEST(StringFindAny, Cases) {
  struct Case {
    int start;
    const char* s;
    const char* set;
    int expected;
  };
  const Case cases[] = {
      {-1, "C:\\dir\\name.exe", "\\ ", 7}, {-1, "name.exe", "\\ ", 0}, {-2, "abcabc", "c", 3},
      {2, "abc", "", 2},                   {-1, "abc", "", 3},          {-4, "abc", "", 0},
      {0, "abc", "a", 0},                  {1, "", "a", 0},             {2, "abcabc", "a", 4},
      {7, "abcabc", "a", 0},               {-7, "abcabc", "a", 0},      {-1, "a b\\c d", "\\ ", 6},
  };
  for (const Case& c : cases) EXPECT_EQ(string_find_any(c.start, c.s, c.set), c.expected) << c.s << " " << c.start;
}

TEST(StringExtract, Cases) {
  struct Case {
    int start;
    const char* s;
    const char* delimiter;
    const char* expected;
  };
  const Case cases[] = {
      {1, "name.ext.bmp", ".", "name"}, {1, "name", ".", "name"},      {3, "name", ".", "me"},
      {-3, "name.ext.bmp", ".", "bmp"}, {0, "name", ".", ""},          {1, "name", "", "name"},
      {9, "name", ".", ""},             {1, "a--b--c", "--", "a"},     {1, ".hidden", ".", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(string_extract(c.start, c.s, c.delimiter), c.expected) << c.s;
}

TEST(StringTrim, SpacesOnly) {
  EXPECT_EQ(string_trim_left("  a b  "), "a b  ");
  EXPECT_EQ(string_trim_right("  a b  "), "  a b");
  EXPECT_EQ(string_trim_left("    "), "");
  EXPECT_EQ(string_trim_right(""), "");
  EXPECT_EQ(string_trim_left("\t a"), "\t a");
}

TEST(StringCompare, UnsignedBytesAndLength) {
  EXPECT_EQ(string_compare("abc", "abc"), 0);
  EXPECT_LT(string_compare("ab", "abc"), 0);
  EXPECT_GT(string_compare("b", "abc"), 0);
  EXPECT_GT(string_compare("\xF1", "a"), 0);  // bytes compare unsigned
  EXPECT_EQ(string_compare("", ""), 0);
}

TEST(StringBuild, FromCodesAndConcat) {
  EXPECT_EQ(string_from_codes({27}), "\x1b");
  EXPECT_EQ(string_from_codes({0x141, -1, 66}), "AB");
  EXPECT_EQ(string_concat("picvec ", "flock"), "picvec flock");
  EXPECT_EQ(string_concat("", "x"), "x");
  Text v = "old";
  string_assign(v, Text());
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(string_concat("a\0b"sv, "c"), std::string("a\0bc", 4));
}

}  // namespace
