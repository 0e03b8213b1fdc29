// Reading 24-bit uncompressed Windows bitmaps from the bytes of a whole file.
//
// Every size in the headers is checked against the real length of the file
// before a pixel is touched, so a damaged or hostile file can only be
// rejected, never read past its end.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Largest width and largest height accepted.
constexpr std::int64_t BmpMaxDimension = 32768;

// Where the pixels of a checked bitmap lie in its file.
struct BmpLayout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool top_down = false;            // first stored row is the top row
  std::uint64_t pixel_offset = 0;   // byte offset of the first stored row
  std::uint64_t row_stride = 0;     // width * 3 rounded up to a multiple of 4
};

struct BmpCheck {
  bool ok = false;
  BmpLayout layout;
  std::string problem;  // what is wrong, one line, when !ok
};

// Checks the headers of `file` (all of its bytes) and finds its pixels.
BmpCheck check_bmp(std::span<const std::uint8_t> file);

// The most bytes of a file's start that the headers can occupy.
constexpr std::size_t BmpHeadersMax = 14 + 124;

// The same check from the first min(length, BmpHeadersMax) bytes of a file
// of `length` bytes, for reading the pixels from the file row by row.
BmpCheck check_bmp_start(std::span<const std::uint8_t> start, std::uint64_t length);

// Copies image row `y` (0 = top) of a bitmap accepted by check_bmp with this
// layout into `rgb` as width * 3 bytes red, green, blue.
void copy_rgb_row(std::span<const std::uint8_t> file, const BmpLayout& layout, std::uint32_t y,
                  std::uint8_t* rgb);

// An image as rows of red, green, blue bytes, top row first, no padding.
struct RgbRaster {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3 bytes

  bool operator==(const RgbRaster&) const = default;
};

struct BmpDecode {
  bool ok = false;
  RgbRaster raster;
  std::string problem;
};

// check_bmp followed by copying every row.
BmpDecode decode_bmp(std::span<const std::uint8_t> file);
