#include "tools/picvec/bmp_reader.hpp"

#include <gtest/gtest.h>

#include "bmp_samples.hpp"

namespace {

// A 2 x 2 bitmap written out byte by byte: top row red, white; bottom row
// blue, green. Rows are 6 bytes of pixels and 2 of padding.
Bytes hand_written(bool top_down) {
  Bytes file = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
                0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes bottom = {0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0, 0};  // blue, green
  const Bytes top = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};     // red, white
  if (top_down) {
    put_u32(file, 22, 0xFFFFFFFE);
    file.insert(file.end(), top.begin(), top.end());
    file.insert(file.end(), bottom.begin(), bottom.end());
  } else {
    file.insert(file.end(), bottom.begin(), bottom.end());
    file.insert(file.end(), top.begin(), top.end());
  }
  return file;
}

const Bytes HandWrittenRgb = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF, 0, 0xFF, 0};

TEST(CheckBmp, HandWrittenBottomUp) {
  const Bytes file = hand_written(false);
  ASSERT_EQ(file.size(), 70u);
  const BmpCheck check = check_bmp(file);
  ASSERT_TRUE(check.ok) << check.problem;
  EXPECT_EQ(check.layout.width, 2u);
  EXPECT_EQ(check.layout.height, 2u);
  EXPECT_FALSE(check.layout.top_down);
  EXPECT_EQ(check.layout.pixel_offset, 54u);
  EXPECT_EQ(check.layout.row_stride, 8u);
  const BmpDecode decode = decode_bmp(file);
  ASSERT_TRUE(decode.ok);
  EXPECT_EQ(decode.raster.rgb, HandWrittenRgb);
}

TEST(CheckBmp, HandWrittenTopDown) {
  const BmpDecode decode = decode_bmp(hand_written(true));
  ASSERT_TRUE(decode.ok) << decode.problem;
  EXPECT_EQ(decode.raster.width, 2u);
  EXPECT_EQ(decode.raster.height, 2u);
  EXPECT_EQ(decode.raster.rgb, HandWrittenRgb);
}

TEST(CheckBmp, TheChartFlockchaseSaves) {
  const Bytes file = make_bmp(chart_raster(850, 624));
  EXPECT_EQ(file.size(), 1592502u);
  const BmpCheck check = check_bmp(file);
  ASSERT_TRUE(check.ok) << check.problem;
  EXPECT_EQ(check.layout.row_stride, 2552u);
  EXPECT_EQ(check.layout.pixel_offset, 54u);
  EXPECT_EQ(decode_bmp(file).raster, chart_raster(850, 624));
}

struct ShapeCase {
  const char* name;
  BmpShape shape;
};

const ShapeCase Shapes[] = {
    {"flockchase", {}},
    {"top_down", {.top_down = true}},
    {"v4_header", {.info_size = 108}},
    {"v5_header", {.info_size = 124}},
    {"v5_top_down", {.top_down = true, .info_size = 124}},
    {"os2_core_header", {.info_size = 12}},
    {"gap_before_pixels", {.gap = 10}},
    {"image_size_given", {.image_size_field = true}},
    {"trailing_bytes", {.trailing = 6}},
    {"nonzero_padding", {.padding = 0xEE}},
    {"everything", {.top_down = true, .info_size = 108, .gap = 3, .image_size_field = true, .trailing = 2, .padding = 1}},
};

TEST(DecodeBmp, EveryShapeAndRowPadding) {
  for (const ShapeCase& c : Shapes) {
    for (std::uint32_t width : {1u, 2u, 3u, 4u, 5u, 17u}) {
      for (std::uint32_t height : {1u, 2u, 7u}) {
        const RgbRaster raster = noise_raster(width, height, width * 100 + height);
        const BmpDecode decode = decode_bmp(make_bmp(raster, c.shape));
        ASSERT_TRUE(decode.ok) << c.name << " " << width << "x" << height << ": " << decode.problem;
        EXPECT_EQ(decode.raster, raster) << c.name << " " << width << "x" << height;
      }
    }
  }
}

TEST(DecodeBmp, FileSizeFieldZeroIsAccepted) {
  const RgbRaster raster = noise_raster(3, 3, 1);
  Bytes file = make_bmp(raster);
  put_u32(file, 2, 0);
  const BmpDecode decode = decode_bmp(file);
  ASSERT_TRUE(decode.ok) << decode.problem;
  EXPECT_EQ(decode.raster, raster);
}

TEST(DecodeBmp, LargestDimensionsAreAccepted) {
  for (auto [width, height] : {std::pair{32768u, 1u}, std::pair{1u, 32768u}}) {
    const RgbRaster raster = noise_raster(width, height, 5);
    for (bool top_down : {false, true}) {
      const BmpDecode decode = decode_bmp(make_bmp(raster, {.top_down = top_down}));
      ASSERT_TRUE(decode.ok) << width << "x" << height << ": " << decode.problem;
      EXPECT_EQ(decode.raster, raster);
    }
  }
}

TEST(CheckBmp, BrokenFilesAreRejectedWithTheirReason) {
  const auto cases = broken_bitmaps();
  ASSERT_GE(cases.size(), 20u);
  for (const BrokenBitmap& c : cases) {
    const BmpCheck check = check_bmp(c.bytes);
    EXPECT_FALSE(check.ok) << c.name;
    EXPECT_NE(check.problem.find(c.expected), std::string::npos) << c.name << ": " << check.problem;
    EXPECT_EQ(check.problem.find('\n'), std::string::npos) << c.name;
    const BmpDecode decode = decode_bmp(c.bytes);
    EXPECT_FALSE(decode.ok) << c.name;
    EXPECT_TRUE(decode.raster.rgb.empty()) << c.name;
  }
}

TEST(CheckBmp, BrokenFilesAreDistinct) {
  const auto cases = broken_bitmaps();
  for (std::size_t i = 0; i < cases.size(); ++i)
    for (std::size_t j = i + 1; j < cases.size(); ++j) {
      EXPECT_NE(cases[i].name, cases[j].name);
      EXPECT_NE(cases[i].bytes, cases[j].bytes) << cases[i].name << " and " << cases[j].name;
    }
}

}  // namespace
