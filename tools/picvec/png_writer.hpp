// Writing an RGB image as a PNG file with libpng.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// The rows of an image, handed out one at a time so that a large bitmap is
// never held twice in memory. `fill` writes row y (0 = top) as width * 3
// bytes red, green, blue.
struct RgbRows {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::function<void(std::uint32_t y, std::uint8_t* rgb)> fill;
};

// Writes `rows` to `out` as an 8-bit RGB PNG, then flushes `out`. On failure
// returns false and sets `problem` to one line (the system's reason when a
// write failed); `out` then holds an incomplete image.
bool write_png(std::FILE* out, const RgbRows& rows, std::string& problem);
