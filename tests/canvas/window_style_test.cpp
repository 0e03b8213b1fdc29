#include "canvas/window_style.hpp"

#include <gtest/gtest.h>

namespace {

TEST(WindowStyle, StyleZeroIsABorderedPopUpWithATitleBarOnlyForACaption) {
  EXPECT_EQ(effective_window_style(0, "flockchase"), 0x80CA0000u);
  EXPECT_EQ(effective_window_style(0, ""), 0x808A0000u);
  EXPECT_EQ(effective_window_style(0x00C00000, ""), 0x00C00000u);  // a given style stays
}

TEST(WindowStyle, MotifHintsFollowTheStyleButNeverResize) {
  struct Case {
    std::uint32_t style;
    long decorations;
    long functions;
  };
  const long all_decorations = MotifDecorBorder | MotifDecorTitle | MotifDecorMenu | MotifDecorMinimize;
  const Case cases[] = {
      {0x80CA0000, all_decorations, MotifFunctionMove | MotifFunctionClose | MotifFunctionMinimize},
      {0x808A0000, MotifDecorBorder, MotifFunctionMove | MotifFunctionClose | MotifFunctionMinimize},
      {StyleCaption, MotifDecorBorder | MotifDecorTitle, MotifFunctionMove | MotifFunctionClose},
      {StylePopup, 0, MotifFunctionMove | MotifFunctionClose},
      {StyleDialogFrame | StyleThickFrame | StyleMaximizeBox, MotifDecorBorder, MotifFunctionMove | MotifFunctionClose},
      {StyleSystemMenu | StyleMinimizeBox, 0, MotifFunctionMove | MotifFunctionClose | MotifFunctionMinimize},
  };
  for (const Case& c : cases) {
    const MotifHints hints = motif_hints_for_style(c.style);
    EXPECT_EQ(hints.flags, MotifHintFunctions | MotifHintDecorations);
    EXPECT_EQ(hints.decorations, c.decorations) << std::hex << c.style;
    EXPECT_EQ(hints.functions, c.functions) << std::hex << c.style;
  }
}

TEST(WindowStyle, CaptionTextForTheTwoNameProperties) {
  struct Case {
    std::string caption;
    std::string utf8;
    std::string latin1;
  };
  const Case cases[] = {
      {"flockchase", "flockchase", "flockchase"},
      {"", "", ""},
      {"Caf\xC3\xA9", "Caf\xC3\xA9", "Caf\xE9"},                  // valid UTF-8 is kept
      {"Caf\xE9", "Caf\xC3\xA9", "Caf\xE9"},                      // otherwise Windows-1252
      {"\x80 5", "\xE2\x82\xAC 5", "? 5"},                         // the euro sign is not in Latin-1
      {"\xE2\x82\xAC", "\xE2\x82\xAC", "?"},
      {"\xC0\xAF", "\xC3\x80\xC2\xAF", "\xC0\xAF"},               // overlong: not UTF-8
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", "\xED\xA0?"},  // surrogate: not UTF-8
      {"a\x01" "b", "a\x01" "b", "a?b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(caption_utf8(c.caption), c.utf8) << c.caption;
    EXPECT_EQ(caption_latin1(c.caption), c.latin1) << c.caption;
  }
}

}  // namespace
