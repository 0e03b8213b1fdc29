#include "runtime/format_mask.hpp"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(SplitMask, Sections) {
  struct Case {
    const char* mask;
    int separators;
    bool only_separator_ends_mask;
    const char* s1;
    const char* s2;
    const char* s3;
  };
  const Case cases[] = {
      {"", 0, false, "", "", ""},
      {"0.0", 0, false, "0.0", "", ""},
      {"0;", 1, true, "0", "", ""},
      {";", 1, true, "", "", ""},
      {"0;(0)", 1, false, "0", "(0)", ""},
      {"0;;z", 2, false, "0", "", "z"},
      {"a;b;c;d;e", 2, false, "a", "b", "c"},
      {"a;b;c;", 2, false, "a", "b", "c"},
      {"\"x;y\";b", 1, false, "\"x;y\"", "b", ""},
      {"\\;a;b", 1, false, "\\;a", "b", ""},
      {"a\\", 0, false, "a\\", "", ""},
      {"\"open;ended", 0, false, "\"open;ended", "", ""},
      {"\"q\";\"r;s", 1, false, "\"q\"", "\"r;s", ""},
      {";;", 2, false, "", "", ""},
  };
  for (const Case& c : cases) {
    MaskSections s = split_mask(c.mask);
    EXPECT_EQ(s.separators, c.separators) << c.mask;
    EXPECT_EQ(s.only_separator_ends_mask, c.only_separator_ends_mask) << c.mask;
    EXPECT_EQ(s.section[0], c.s1) << c.mask;
    EXPECT_EQ(s.section[1], c.s2) << c.mask;
    EXPECT_EQ(s.section[2], c.s3) << c.mask;
  }
}

// A compiled section written back as one character per position: literals as
// themselves, Z zero, O optional, F fill, with "|" where the exponent starts.
std::string picture(const CompiledMask& m) {
  std::string out;
  for (std::size_t i = 0; i <= m.positions.size(); ++i) {
    if (i == m.exponent_start && m.exponent_mode != ExponentMode::None) out += '|';
    if (i == m.positions.size()) break;
    const MaskPosition& p = m.positions[i];
    switch (p.kind) {
      case PositionKind::Literal: out += p.ch; break;
      case PositionKind::Zero: out += 'Z'; break;
      case PositionKind::Optional: out += 'O'; break;
      case PositionKind::Fill: out += 'F'; break;
    }
  }
  return out;
}

TEST(CompileMaskSection, Positions) {
  struct Case {
    const char* section;
    const char* picture;
    int i, f, x;
    bool grouping, percent;
    ExponentMode mode;
  };
  using M = ExponentMode;
  const Case cases[] = {
      {"0.0", "Z.Z", 1, 1, 0, false, false, M::None},
      {"##0.00", "OOZ.ZZ", 3, 2, 0, false, false, M::None},
      {"#,##0.00", "OOOZ.ZZ", 4, 2, 0, true, false, M::None},
      {",0", ",Z", 1, 0, 0, false, false, M::None},
      {"0.0,0", "Z.ZZ", 1, 2, 0, true, false, M::None},
      {"0.00E+00", "Z.ZZE|ZZ", 1, 2, 2, false, false, M::Plus},
      {"0.00e-0#", "Z.ZZe|ZO", 1, 2, 2, false, false, M::Minus},
      {"0E0", "ZEZ", 2, 0, 0, false, false, M::None},
      {"E+0", "+Z", 1, 0, 0, false, false, M::None},
      {"0E+", "ZE", 1, 0, 0, false, false, M::None},
      {"0E+0E+0", "ZE|Z+Z", 1, 0, 2, false, false, M::Plus},
      {"0E+0.0,", "ZE|Z.Z,", 1, 0, 2, false, false, M::Plus},
      {"0.0%", "Z.Z%", 1, 1, 0, false, true, M::None},
      {"%0", "Z", 1, 0, 0, false, false, M::None},
      {"*x##", "FFFF", 4, 0, 0, false, false, M::None},
      {"#*x#", "OFFF", 4, 0, 0, false, false, M::None},
      {"0*", "Z*", 1, 0, 0, false, false, M::None},
      {"\"a0;\"0", "a0;Z", 1, 0, 0, false, false, M::None},
      {"\"unclosed 0", "unclosed 0", 0, 0, 0, false, false, M::None},
      {"\\00", "0Z", 1, 0, 0, false, false, M::None},
      {"x1 0", " Z", 1, 0, 0, false, false, M::None},
      {"$-+() ", "$-+() ", 0, 0, 0, false, false, M::None},
      {"0..0", "Z..Z", 1, 1, 0, false, false, M::None},
  };
  for (const Case& c : cases) {
    CompiledMask m = compile_mask_section(c.section);
    EXPECT_EQ(picture(m), c.picture) << c.section;
    EXPECT_EQ(m.integer_digits, c.i) << c.section;
    EXPECT_EQ(m.fraction_digits, c.f) << c.section;
    EXPECT_EQ(m.exponent_digits, c.x) << c.section;
    EXPECT_EQ(m.grouping, c.grouping) << c.section;
    EXPECT_EQ(m.percent, c.percent) << c.section;
    EXPECT_EQ(m.exponent_mode, c.mode) << c.section;
  }
}

TEST(CompileMaskSection, FillCharacterAndPoint) {
  CompiledMask m = compile_mask_section("*ab#.#");
  ASSERT_EQ(m.positions.size(), 5u);
  EXPECT_EQ(m.positions[0].ch, 'a');
  EXPECT_EQ(m.positions[2].ch, 'a');
  EXPECT_EQ(m.positions[4].kind, PositionKind::Fill);
  EXPECT_TRUE(m.positions[4].fraction);
  EXPECT_TRUE(m.positions[3].decimal_point);
  // Only the first point starts the fraction; one in the exponent never does.
  CompiledMask two = compile_mask_section("0..0E+.0");
  EXPECT_TRUE(two.positions[1].decimal_point);
  EXPECT_FALSE(two.positions[2].decimal_point);
  EXPECT_FALSE(two.positions[6].decimal_point);
}

}  // namespace
