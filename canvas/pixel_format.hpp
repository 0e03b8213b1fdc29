// The raster's 0x00BBGGRR colours in the pixel layout of a true-colour
// screen image: channel masks, bytes per pixel and byte order, as an X
// server describes its images. Pure computation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "canvas/raster.hpp"

struct PixelFormat {
  std::uint32_t red_mask = 0;
  std::uint32_t green_mask = 0;
  std::uint32_t blue_mask = 0;
  int bytes_per_pixel = 4;  // 1 to 4
  bool most_significant_first = false;
};

// Whether pixels of this format can be made from 8-bit channels: masks of
// contiguous bits that fit the pixel, and a supported pixel size.
bool pixel_format_usable(const PixelFormat& format);

// The screen pixel value of a colour: each 8-bit channel scaled to its mask
// by dropping low bits (or repeating high bits when the mask is wider).
std::uint32_t screen_pixel(const PixelFormat& format, Colour colour);

// Writes the raster into an image of `stride` bytes per row.
void convert_raster(const Raster& raster, const PixelFormat& format, std::uint8_t* image, std::size_t stride);
