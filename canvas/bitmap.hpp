// Saving the surface as a Windows bitmap file: uncompressed, 24 bits per
// pixel, rows bottom-up, each row padded to a multiple of 4 bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "canvas/raster.hpp"

constexpr int BitmapHeaderSize = 54;  // 14-byte file header + 40-byte info header

// Bytes per stored row: width * 3 rounded up to a multiple of 4.
std::int64_t bitmap_row_stride(int width);

// The complete file for a raster.
std::vector<std::uint8_t> bitmap_encode(const Raster& raster);

// Writes the current canvas's surface to the file. The file appears only
// when complete (written beside it, then renamed over it); on failure an
// earlier file stays as it was and one line on standard error names the file
// and the reason. An empty name or no current canvas does nothing. True when
// the file was written.
bool canvas_save_bmp(std::string_view file_name);
