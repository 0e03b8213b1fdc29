#include "tools/picvec/png_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "bmp_samples.hpp"
#include "process_support.hpp"

namespace {

RgbRows rows_of(const RgbRaster& raster) {
  return RgbRows{raster.width, raster.height, [&raster](std::uint32_t y, std::uint8_t* rgb) {
                   std::copy_n(raster.rgb.data() + std::size_t{y} * raster.width * 3, raster.width * 3, rgb);
                 }};
}

TEST(WritePng, NetpbmReadsBackTheSamePixels) {
  TempDir dir;
  for (auto [width, height] : {std::pair{1u, 1u}, std::pair{3u, 2u}, std::pair{257u, 33u}}) {
    const RgbRaster raster = noise_raster(width, height, width + height);
    const auto path = dir.path / ("image" + std::to_string(width) + ".png");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::string problem;
    EXPECT_TRUE(write_png(out, rows_of(raster), problem)) << problem;
    ASSERT_EQ(std::fclose(out), 0);
    std::string why;
    const auto read = png_read_by_netpbm(path, why);
    ASSERT_TRUE(read.has_value()) << why;
    EXPECT_EQ(*read, raster) << width << "x" << height;
  }
}

TEST(WritePng, AFullDeviceIsReportedWithItsReason) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::string problem;
  EXPECT_FALSE(write_png(full, rows_of(noise_raster(64, 64, 9)), problem));
  EXPECT_EQ(problem, "No space left on device");
  std::fclose(full);
}

TEST(WritePng, AnEmptyImageIsRefused) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  std::string problem;
  EXPECT_FALSE(write_png(out, RgbRows{0, 5, [](std::uint32_t, std::uint8_t*) {}}, problem));
  EXPECT_FALSE(problem.empty());
  EXPECT_EQ(std::ftell(out), 0);
  std::fclose(out);
}

}  // namespace
