#include "canvas/bitmap.hpp"

namespace {

void put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
  put16(at, value & 0xFFFFu);
  put16(at + 2, value >> 16);
}

}  // namespace

std::int64_t bitmap_row_stride(int width) { return (std::int64_t{width} * 3 + 3) / 4 * 4; }

std::vector<std::uint8_t> bitmap_encode(const Raster& raster) {
  const std::int64_t stride = bitmap_row_stride(raster.width);
  const std::int64_t data_size = stride * raster.height;
  std::vector<std::uint8_t> file(static_cast<std::size_t>(BitmapHeaderSize + data_size), 0);
  std::uint8_t* h = file.data();
  h[0] = 'B';
  h[1] = 'M';
  put32(h + 2, static_cast<std::uint32_t>(data_size + BitmapHeaderSize));  // file size
  put32(h + 10, BitmapHeaderSize);                                         // offset of the pixels
  put32(h + 14, 40);                                                       // info header size
  put32(h + 18, static_cast<std::uint32_t>(raster.width));
  put32(h + 22, static_cast<std::uint32_t>(raster.height));  // positive: bottom-up
  put16(h + 26, 1);                                          // planes
  put16(h + 28, 24);                                         // bits per pixel
  // Compression, image size, resolutions and colour counts stay 0.

  for (int row = 0; row < raster.height; ++row) {
    std::uint8_t* out = h + BitmapHeaderSize + stride * (raster.height - 1 - row);
    for (int x = 0; x < raster.width; ++x) {
      const Colour c = raster.at(x, row);  // 0x00BBGGRR
      out[3 * x] = static_cast<std::uint8_t>(c >> 16);     // blue
      out[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);  // green
      out[3 * x + 2] = static_cast<std::uint8_t>(c);       // red
    }
  }
  return file;
}
