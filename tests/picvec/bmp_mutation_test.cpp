// Damaged bitmaps made by random mutation of valid ones. The reader must
// reject or accept each without reading outside the file (the sanitizer
// build turns any such read into a failure), and whatever it accepts must be
// an image that really fits in the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "bmp_samples.hpp"
#include "tools/picvec/bmp_reader.hpp"
#include "tools/picvec/png_writer.hpp"

namespace {

// Values that sit on the edges of the checks.
const std::uint32_t Interesting[] = {0,          1,          2,          3,          12,         24,
                                     40,         54,         108,        124,        0x7FFF,     0x8000,
                                     0x8001,     0xFFFF,     0x10000,    0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                     0xFFFF8000, 0xFFFF7FFF, 0xFFFFFFFE, 0x55555556, 0x40000000, 0x2AAAAAAB};

// Offsets of the header fields a mutation aims at.
const std::size_t Fields[] = {2, 10, 14, 18, 20, 22, 24, 26, 28, 30, 34, 46};

struct Mutator {
  std::mt19937 random;
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(random() % n); }

  void mutate(Bytes& file) {
    switch (below(7)) {
      case 0:  // one header byte
        if (!file.empty()) file[below(std::min<std::uint32_t>(70, file.size()))] = static_cast<std::uint8_t>(random());
        break;
      case 1:  // one bit anywhere
        if (!file.empty()) file[below(file.size())] ^= static_cast<std::uint8_t>(1u << below(8));
        break;
      case 2:  // a header field set to an edge value
      case 3: {
        const std::size_t at = Fields[below(std::size(Fields))];
        const std::uint32_t value = Interesting[below(std::size(Interesting))];
        if (at + 4 <= file.size()) {
          put_u32(file, at, value);
        } else if (at + 2 <= file.size()) {
          put_u16(file, at, value);
        }
        break;
      }
      case 4:  // cut short
        file.resize(below(static_cast<std::uint32_t>(file.size()) + 1));
        break;
      case 5:  // grown
        file.resize(file.size() + below(64), static_cast<std::uint8_t>(random()));
        break;
      case 6:  // a header field nudged by a little
        if (file.size() >= 54) {
          const std::size_t at = Fields[below(std::size(Fields))];
          const std::uint32_t old = file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) | (file[at + 3] << 24);
          put_u32(file, at, old + below(9) - 4);
        }
        break;
    }
  }
};

TEST(BmpMutation, NeverReadsOutsideTheFile) {
  const Bytes seeds[] = {
      make_bmp(noise_raster(5, 3, 1)),
      make_bmp(noise_raster(4, 2, 2), {.top_down = true, .info_size = 124}),
      make_bmp(noise_raster(3, 4, 3), {.info_size = 12}),
      make_bmp(noise_raster(7, 1, 4), {.info_size = 108, .gap = 5, .image_size_field = true, .trailing = 3}),
  };
  Mutator mutator{std::mt19937(20240531)};
  std::FILE* sink = std::tmpfile();
  ASSERT_NE(sink, nullptr);
  int accepted = 0;
  int written = 0;
  constexpr int Rounds = 20000;
  for (int round = 0; round < Rounds; ++round) {
    Bytes file = seeds[round % std::size(seeds)];
    const std::uint32_t mutations = 1 + mutator.below(4);
    for (std::uint32_t m = 0; m < mutations; ++m) mutator.mutate(file);

    const BmpCheck check = check_bmp(file);
    const BmpDecode decode = decode_bmp(file);
    ASSERT_EQ(check.ok, decode.ok) << "round " << round;
    if (!check.ok) {
      ASSERT_FALSE(check.problem.empty()) << "round " << round;
      ASSERT_EQ(check.problem.find('\n'), std::string::npos) << "round " << round;
      continue;
    }
    ++accepted;
    const BmpLayout& layout = check.layout;
    ASSERT_GE(layout.width, 1u);
    ASSERT_GE(layout.height, 1u);
    ASSERT_LE(layout.width, 32768u);
    ASSERT_LE(layout.height, 32768u);
    ASSERT_GE(layout.row_stride, std::uint64_t{layout.width} * 3);
    ASSERT_LE(layout.pixel_offset + layout.row_stride * layout.height, file.size()) << "round " << round;
    ASSERT_EQ(decode.raster.rgb.size(), std::size_t{layout.width} * layout.height * 3);
    if (accepted % 16 == 0) {
      std::rewind(sink);
      std::string problem;
      const RgbRows rows{decode.raster.width, decode.raster.height, [&](std::uint32_t y, std::uint8_t* rgb) {
                           std::copy_n(decode.raster.rgb.data() + std::size_t{y} * decode.raster.width * 3,
                                       decode.raster.width * 3, rgb);
                         }};
      ASSERT_TRUE(write_png(sink, rows, problem)) << problem;
      ++written;
    }
  }
  std::fclose(sink);
  // The mutations must exercise both sides; if nearly everything were
  // rejected at the signature, the test would prove little.
  EXPECT_GT(accepted, Rounds / 20);
  EXPECT_LT(accepted, Rounds / 2);
  EXPECT_GT(written, 0);
}

}  // namespace
