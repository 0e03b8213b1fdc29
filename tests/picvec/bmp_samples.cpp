#include "bmp_samples.hpp"

#include <random>

void put_u16(Bytes& bytes, std::size_t at, std::uint32_t value) {
  bytes.at(at) = static_cast<std::uint8_t>(value);
  bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes make_bmp(const RgbRaster& raster, const BmpShape& shape) {
  const std::uint32_t stride = (raster.width * 3 + 3) / 4 * 4;
  const std::uint32_t pixel_bytes = stride * raster.height;
  const std::uint32_t offset = 14 + shape.info_size + shape.gap;
  const std::uint32_t file_size = offset + pixel_bytes + shape.trailing;
  Bytes bytes(file_size, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  put_u32(bytes, 2, file_size);
  put_u32(bytes, 10, offset);
  put_u32(bytes, 14, shape.info_size);
  if (shape.info_size == 12) {
    put_u16(bytes, 18, raster.width);
    put_u16(bytes, 20, raster.height);
    put_u16(bytes, 22, 1);
    put_u16(bytes, 24, 24);
  } else {
    put_u32(bytes, 18, raster.width);
    put_u32(bytes, 22, shape.top_down ? 0u - raster.height : raster.height);
    put_u16(bytes, 26, 1);
    put_u16(bytes, 28, 24);
    put_u32(bytes, 30, 0);
    put_u32(bytes, 34, shape.image_size_field ? pixel_bytes : 0);
    if (shape.info_size >= 108) put_u32(bytes, 14 + 56, 0x73524742);  // colour space "sRGB"
  }
  for (std::uint32_t i = 0; i < shape.gap; ++i) bytes[14 + shape.info_size + i] = 0x5A;
  for (std::uint32_t y = 0; y < raster.height; ++y) {
    const std::uint32_t stored = shape.top_down ? y : raster.height - 1 - y;
    std::uint8_t* row = bytes.data() + offset + std::size_t{stored} * stride;
    const std::uint8_t* rgb = raster.rgb.data() + std::size_t{y} * raster.width * 3;
    for (std::uint32_t x = 0; x < raster.width; ++x) {
      row[3 * x] = rgb[3 * x + 2];
      row[3 * x + 1] = rgb[3 * x + 1];
      row[3 * x + 2] = rgb[3 * x];
    }
    for (std::uint32_t i = raster.width * 3; i < stride; ++i) row[i] = shape.padding;
  }
  for (std::uint32_t i = 0; i < shape.trailing; ++i) bytes[offset + pixel_bytes + i] = 0xA5;
  return bytes;
}

RgbRaster noise_raster(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  std::mt19937 generator(seed);
  RgbRaster raster{width, height, Bytes(std::size_t{width} * height * 3)};
  for (auto& byte : raster.rgb) byte = static_cast<std::uint8_t>(generator());
  return raster;
}

RgbRaster chart_raster(std::uint32_t width, std::uint32_t height) {
  RgbRaster raster{width, height, Bytes(std::size_t{width} * height * 3, 0xFF)};
  auto set = [&](std::uint32_t x, std::uint32_t y, std::uint32_t colour) {
    std::uint8_t* p = raster.rgb.data() + (std::size_t{y} * width + x) * 3;
    p[0] = static_cast<std::uint8_t>(colour >> 16);
    p[1] = static_cast<std::uint8_t>(colour >> 8);
    p[2] = static_cast<std::uint8_t>(colour);
  };
  for (std::uint32_t x = 0; x < width; ++x) {
    set(x, 0, 0x000000);
    set(x, height - 1, 0x000000);
    if (x % 4 < 2) set(x, height / 2, 0x808080);
    set(x, (x * 7) % height, 0xC02040);
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    set(0, y, 0x000000);
    set(width - 1, y, 0x000000);
  }
  return raster;
}

namespace {

// The 5 x 3 bitmap the broken files start from: rows of 15 bytes padded to
// 16, pixel data at byte 54, 48 bytes of it, 102 bytes in all.
Bytes base() { return make_bmp(noise_raster(5, 3, 7)); }

Bytes with_u16(std::size_t at, std::uint32_t value, Bytes bytes = base()) {
  put_u16(bytes, at, value);
  return bytes;
}

Bytes with_u32(std::size_t at, std::uint32_t value, Bytes bytes = base()) {
  put_u32(bytes, at, value);
  return bytes;
}

Bytes cut(std::size_t length, Bytes bytes = base()) {
  bytes.resize(length);
  return bytes;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Headers that claim a huge image while the file holds almost nothing: the
// sizes must be worked out without wrapping.
Bytes huge(std::uint32_t width, std::uint32_t height) {
  Bytes bytes = with_u32(18, width);
  put_u32(bytes, 22, height);
  put_u32(bytes, 2, 0);
  return bytes;
}

}  // namespace

std::vector<BrokenBitmap> broken_bitmaps() {
  const Bytes core = make_bmp(noise_raster(5, 3, 7), BmpShape{.info_size = 12});
  const Bytes v5 = make_bmp(noise_raster(5, 3, 7), BmpShape{.info_size = 124});
  return {
      {"empty", {}, "the file is empty"},
      {"one_byte", text("B"), "not a BMP file"},
      {"png_signature", text("\x89PNG\r\n\x1a\n0000000000000000000000"), "not a BMP file"},
      {"os2_array", with_u16(0, 0x4142), "not a BMP file"},
      {"text_file", text("Bitmap? No, just some text\n"), "not a BMP file"},
      {"cut_in_file_header", cut(10), "truncated header"},
      {"cut_in_info_header", cut(30), "truncated info header"},
      {"info_size_zero", with_u32(14, 0), "unsupported info header size 0"},
      {"info_size_41", with_u32(14, 41), "unsupported info header size 41"},
      {"info_size_huge", with_u32(14, 0xFFFFFFFF), "unsupported info header size 4294967295"},
      {"v5_header_cut", cut(100, v5), "truncated info header"},
      {"planes_zero", with_u16(26, 0), "planes 0"},
      {"planes_two", with_u16(26, 2), "planes 2"},
      {"one_bit", with_u16(28, 1), "bit depth 1"},
      {"eight_bit", with_u16(28, 8), "bit depth 8"},
      {"thirty_two_bit", with_u16(28, 32), "bit depth 32"},
      {"core_eight_bit", with_u16(24, 8, core), "bit depth 8"},
      {"rle8", with_u32(30, 1), "compression type 1"},
      {"bitfields", with_u32(30, 3), "compression type 3"},
      {"v5_jpeg", with_u32(30, 4, v5), "compression type 4"},
      {"width_zero", with_u32(18, 0), "invalid width 0"},
      {"width_negative", with_u32(18, 0xFFFFFFFB), "invalid width -5"},
      {"width_most_negative", with_u32(18, 0x80000000), "invalid width -2147483648"},
      {"height_zero", with_u32(22, 0), "invalid height 0"},
      {"width_32769", with_u32(18, 32769), "exceeds the limit of 32768 x 32768"},
      {"height_32769", with_u32(22, 32769), "exceeds the limit"},
      {"height_minus_32769", with_u32(22, 0u - 32769), "exceeds the limit"},
      {"height_most_negative", with_u32(22, 0x80000000), "exceeds the limit"},
      {"width_largest_int", with_u32(18, 0x7FFFFFFF), "exceeds the limit"},
      {"core_width_65535", with_u16(18, 65535, core), "exceeds the limit"},
      {"pixels_short_by_one", cut(101), "truncated pixel data"},
      {"headers_only", cut(54), "truncated pixel data"},
      {"largest_image_tiny_file", huge(32768, 32768), "truncated pixel data"},
      {"largest_top_down_tiny_file", huge(32768, 0u - 32768), "truncated pixel data"},
      {"offset_largest", with_u32(10, 0xFFFFFFFF), "lies past the end of the file"},
      {"offset_past_end", with_u32(10, 103), "lies past the end of the file"},
      {"offset_inside_headers", with_u32(10, 20), "lies inside the headers"},
      {"offset_zero", with_u32(10, 0), "lies inside the headers"},
      {"offset_leaves_too_little", with_u32(10, 60, with_u32(2, 0)), "truncated pixel data"},
      {"offset_beyond_file_size_field", with_u32(10, 60), "header sizes do not add up"},
      {"file_size_field_small", with_u32(2, 90), "header sizes do not add up"},
      {"file_size_field_large", with_u32(2, 200), "truncated file"},
      {"image_size_field_small", with_u32(34, 47), "header sizes do not add up"},
      {"image_size_field_past_end", with_u32(34, 49), "truncated file"},
  };
}
