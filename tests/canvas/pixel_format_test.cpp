#include "canvas/pixel_format.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

constexpr PixelFormat X8R8G8B8{0xFF0000, 0x00FF00, 0x0000FF, 4, false};
constexpr PixelFormat R5G6B5{0xF800, 0x07E0, 0x001F, 2, false};
constexpr PixelFormat B8G8R8Packed{0x0000FF, 0x00FF00, 0xFF0000, 3, true};
constexpr PixelFormat R10G10B10{0x3FF00000, 0x000FFC00, 0x000003FF, 4, false};

TEST(PixelFormat, ScreenPixelScalesEachChannelToItsMask) {
  struct Case {
    PixelFormat format;
    Colour colour;
    std::uint32_t pixel;
  };
  const Case cases[] = {
      {X8R8G8B8, 0x0000FF, 0xFF0000},  // red is the low byte of a colour
      {X8R8G8B8, 0xFF0000, 0x0000FF},
      {X8R8G8B8, 0x123456, 0x563412},
      {X8R8G8B8, 0xF0F0F0, 0xF0F0F0},
      {R5G6B5, 0xFFFFFF, 0xFFFF},
      {R5G6B5, 0x0000FF, 0xF800},
      {R5G6B5, 0x00FF00, 0x07E0},
      {R5G6B5, 0x000007, 0x0000},  // dropped low bits
      {R5G6B5, 0x000008, 0x0800},
      {B8G8R8Packed, 0x123456, 0x123456},
      {R10G10B10, 0x0000FF, 0x3FF00000},  // 0xFF fills all ten bits
      {R10G10B10, 0x000080, 0x20200000},  // 0x80 repeated: 10 0000 0010
  };
  for (const Case& c : cases) {
    EXPECT_EQ(screen_pixel(c.format, c.colour), c.pixel) << std::hex << c.colour;
  }
}

TEST(PixelFormat, UsableFormatsHaveContiguousDisjointMasksThatFit) {
  EXPECT_TRUE(pixel_format_usable(X8R8G8B8));
  EXPECT_TRUE(pixel_format_usable(R5G6B5));
  EXPECT_TRUE(pixel_format_usable(B8G8R8Packed));
  EXPECT_TRUE(pixel_format_usable(R10G10B10));
  EXPECT_FALSE(pixel_format_usable({0xFF0000, 0xFF00, 0xFF, 2, false}));  // red does not fit
  EXPECT_FALSE(pixel_format_usable({0xF0F000, 0xFF00, 0xFF, 4, false}));  // holes
  EXPECT_FALSE(pixel_format_usable({0xFF0000, 0xFF0000, 0xFF, 4, false}));  // overlap
  EXPECT_FALSE(pixel_format_usable({0, 0xFF00, 0xFF, 4, false}));
  EXPECT_FALSE(pixel_format_usable({0xFF0000, 0xFF00, 0xFF, 5, false}));
}

// The plain transcription: every pixel through screen_pixel, its bytes in
// the format's order. The fast path for the common layout must agree.
std::vector<std::uint8_t> convert_plainly(const Raster& raster, const PixelFormat& format, std::size_t stride) {
  std::vector<std::uint8_t> image(stride * raster.height, 0xAA);
  const int n = format.bytes_per_pixel;
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      const std::uint32_t pixel = screen_pixel(format, raster.at(x, y));
      for (int k = 0; k < n; ++k) {
        const int shift = 8 * (format.most_significant_first ? n - 1 - k : k);
        image[y * stride + x * n + k] = static_cast<std::uint8_t>(pixel >> shift);
      }
    }
  }
  return image;
}

TEST(PixelFormat, ConvertRasterMatchesThePlainTranscription) {
  std::mt19937 random(7);
  Raster raster = make_raster(37, 11, 0);
  for (Colour& pixel : raster.pixels) pixel = random() & 0xFFFFFF;
  for (const PixelFormat& format : {X8R8G8B8, R5G6B5, B8G8R8Packed, R10G10B10}) {
    // Rows padded past their pixels; the padding is left as it was.
    const std::size_t stride = static_cast<std::size_t>(raster.width) * format.bytes_per_pixel + 5;
    std::vector<std::uint8_t> image(stride * raster.height, 0xAA);
    convert_raster(raster, format, image.data(), stride);
    EXPECT_EQ(image, convert_plainly(raster, format, stride)) << format.bytes_per_pixel;
  }
}

}  // namespace
