#include "canvas/pixel_format.hpp"

#include <bit>

namespace {

struct Channel {
  int shift = 0;
  int bits = 0;
};

Channel channel_of(std::uint32_t mask) {
  if (mask == 0) return {};
  return Channel{std::countr_zero(mask), std::popcount(mask)};
}

bool contiguous(std::uint32_t mask) {
  if (mask == 0) return false;
  const std::uint32_t low = mask >> std::countr_zero(mask);
  return (low & (low + 1)) == 0;
}

std::uint32_t scale_channel(std::uint32_t value, Channel channel) {
  std::uint32_t scaled;
  if (channel.bits <= 8) {
    scaled = value >> (8 - channel.bits);
  } else {
    // Repeat the high bits so that 0xFF becomes all ones.
    scaled = 0;
    int filled = 0;
    while (filled < channel.bits) {
      scaled = (scaled << 8) | value;
      filled += 8;
    }
    scaled >>= filled - channel.bits;
  }
  return scaled << channel.shift;
}

// The common 32-bit layout with red in bits 16..23: red and blue swap places.
bool is_x8r8g8b8(const PixelFormat& f) {
  return f.bytes_per_pixel == 4 && !f.most_significant_first && f.red_mask == 0xFF0000 && f.green_mask == 0xFF00 &&
         f.blue_mask == 0xFF;
}

}  // namespace

bool pixel_format_usable(const PixelFormat& format) {
  if (format.bytes_per_pixel < 1 || format.bytes_per_pixel > 4) return false;
  const std::uint64_t limit = format.bytes_per_pixel == 4 ? 0xFFFFFFFFull : (1ull << (8 * format.bytes_per_pixel)) - 1;
  for (std::uint32_t mask : {format.red_mask, format.green_mask, format.blue_mask}) {
    if (!contiguous(mask) || mask > limit) return false;
  }
  return (format.red_mask & format.green_mask) == 0 && (format.red_mask & format.blue_mask) == 0 &&
         (format.green_mask & format.blue_mask) == 0;
}

std::uint32_t screen_pixel(const PixelFormat& format, Colour colour) {
  return scale_channel(colour & 0xFF, channel_of(format.red_mask)) |
         scale_channel((colour >> 8) & 0xFF, channel_of(format.green_mask)) |
         scale_channel((colour >> 16) & 0xFF, channel_of(format.blue_mask));
}

void convert_raster(const Raster& raster, const PixelFormat& format, std::uint8_t* image, std::size_t stride) {
  const int n = format.bytes_per_pixel;
  for (int y = 0; y < raster.height; ++y) {
    const Colour* source = raster.pixels.data() + static_cast<std::size_t>(y) * raster.width;
    std::uint8_t* row = image + static_cast<std::size_t>(y) * stride;
    if (is_x8r8g8b8(format)) {
      for (int x = 0; x < raster.width; ++x) {
        const Colour c = source[x];
        std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
        p[0] = static_cast<std::uint8_t>(c >> 16);  // blue
        p[1] = static_cast<std::uint8_t>(c >> 8);   // green
        p[2] = static_cast<std::uint8_t>(c);        // red
        p[3] = 0;
      }
      continue;
    }
    for (int x = 0; x < raster.width; ++x) {
      const std::uint32_t pixel = screen_pixel(format, source[x]);
      std::uint8_t* p = row + static_cast<std::size_t>(x) * n;
      for (int k = 0; k < n; ++k) {
        const int byte = format.most_significant_first ? n - 1 - k : k;
        p[k] = static_cast<std::uint8_t>(pixel >> (8 * byte));
      }
    }
  }
}
