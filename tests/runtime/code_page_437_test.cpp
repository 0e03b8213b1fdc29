#include "runtime/code_page_437.hpp"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace {

// glibc's own table for the upper half, an independent source.
std::string iconv_cp437(unsigned char byte) {
  iconv_t cd = iconv_open("UTF-8", "CP437");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "iconv has no CP437";
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* pin = in;
  char* pout = out;
  std::size_t in_left = 1, out_left = sizeof out;
  std::size_t r = iconv(cd, &pin, &in_left, &pout, &out_left);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return "not convertible";
  return std::string(out, static_cast<std::size_t>(pout - out));
}

TEST(CodePage437, UpperHalfMatchesIconv) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    EXPECT_EQ(cp437_to_utf8(std::string(1, static_cast<char>(b))), iconv_cp437(static_cast<unsigned char>(b)))
        << std::hex << b;
  }
}

TEST(CodePage437, AsciiIsItself) {
  for (int b = 0x20; b < 0x7F; ++b) EXPECT_EQ(cp437_glyph(static_cast<unsigned char>(b)), char32_t(b)) << b;
}

TEST(CodePage437, ControlBytesShowPictures) {
  const std::pair<unsigned char, const char*> cases[] = {
      {0x00, " "},            {0x01, "\u263A"}, {0x07, "\u2022"}, {0x09, "\u25CB"}, {0x0A, "\u25D9"},
      {0x0D, "\u266A"},       {0x1B, "\u2190"}, {0x1F, "\u25BC"}, {0x7F, "\u2302"}, {0xF1, "\u00B1"},
      {0xF1, "\xC2\xB1"},
  };
  for (auto [byte, utf8] : cases) EXPECT_EQ(cp437_to_utf8(std::string(1, static_cast<char>(byte))), utf8) << +byte;
}

TEST(CodePage437, EveryGlyphIsDistinct) {
  for (int a = 0; a < 256; ++a) {
    for (int b = a + 1; b < 256; ++b) {
      if (a == 0 && b == 0x20) continue;  // byte 0 shows as a space
      EXPECT_NE(cp437_glyph(static_cast<unsigned char>(a)), cp437_glyph(static_cast<unsigned char>(b))) << a << " " << b;
    }
  }
}

TEST(CodePage437, ByteForGlyphInvertsUpperHalf) {
  for (int b = 0x80; b <= 0xFF; ++b) EXPECT_EQ(cp437_byte_for(cp437_glyph(static_cast<unsigned char>(b))), b);
  EXPECT_EQ(cp437_byte_for(U'a'), -1);
  EXPECT_EQ(cp437_byte_for(U'\u20AC'), -1);  // the euro sign is not in it
}

TEST(CodePage437, Utf8Encoding) {
  std::string out;
  for (char32_t c : {U'A', U'\u00E9', U'\u2502', U'\U0001F600'}) append_utf8(out, c);
  EXPECT_EQ(out, "A\xC3\xA9\xE2\x94\x82\xF0\x9F\x98\x80");
}

}  // namespace
