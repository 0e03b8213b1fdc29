// Bitmaps for the picvec tests: a small writer of the 24-bit layout, images
// to put in it, and a table of broken files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/picvec/bmp_reader.hpp"

using Bytes = std::vector<std::uint8_t>;

struct BmpShape {
  bool top_down = false;          // negative height, top row stored first
  std::uint32_t info_size = 40;   // 12 (OS/2 core), 40, 108 or 124
  std::uint32_t gap = 0;          // bytes between the headers and the pixels
  bool image_size_field = false;  // the real pixel size instead of 0
  std::uint32_t trailing = 0;     // bytes after the pixels, counted in the file size
  std::uint8_t padding = 0;       // value of the row padding bytes
};

// The bitmap file of `raster` in the given shape. The default shape is the
// one flockchase saves.
Bytes make_bmp(const RgbRaster& raster, const BmpShape& shape = {});

// Pseudo-random pixels, the same for the same seed.
RgbRaster noise_raster(std::uint32_t width, std::uint32_t height, std::uint32_t seed);
// A chart like flockchase draws: white, a black frame, a dotted grey line and
// a coloured curve.
RgbRaster chart_raster(std::uint32_t width, std::uint32_t height);

void put_u16(Bytes& bytes, std::size_t at, std::uint32_t value);
void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value);

struct BrokenBitmap {
  std::string name;      // short, usable as a file name
  Bytes bytes;
  std::string expected;  // part of the problem reported for it
};

// Files that picvec must reject, each with a different fault.
std::vector<BrokenBitmap> broken_bitmaps();
