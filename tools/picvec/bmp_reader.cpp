#include "tools/picvec/bmp_reader.hpp"

#include <utility>

namespace {

constexpr std::uint64_t FileHeaderSize = 14;

std::uint16_t read_u16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t read_u32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::int32_t read_s32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::int32_t>(read_u32(b, at));
}

// The info header sizes of the Windows and OS/2 variants; all of them start
// with the same fields (the 12-byte one with 16-bit width and height).
bool known_info_size(std::uint32_t size) {
  switch (size) {
    case 12: case 40: case 52: case 56: case 64: case 108: case 124:
      return true;
    default:
      return false;
  }
}

BmpCheck reject(std::string problem) {
  BmpCheck check;
  check.problem = std::move(problem);
  return check;
}

std::string num(std::uint64_t value) { return std::to_string(value); }
std::string num(std::int64_t value) { return std::to_string(value); }

}  // namespace

BmpCheck check_bmp(std::span<const std::uint8_t> file) { return check_bmp_start(file, file.size()); }

BmpCheck check_bmp_start(std::span<const std::uint8_t> file, std::uint64_t length) {
  // All arithmetic is on 64-bit values built from at most 32-bit fields and
  // dimensions already bounded by BmpMaxDimension, so nothing can wrap.
  // Every field read below lies within the headers, which the length checks
  // before it have shown to be in `file`.
  if (file.size() < length && file.size() < BmpHeadersMax) return reject("the start of the file could not be read");
  if (length == 0) return reject("the file is empty");
  if (length < 2 || file[0] != 'B' || file[1] != 'M') return reject("not a BMP file (it does not start with \"BM\")");
  if (length < FileHeaderSize + 4)
    return reject("truncated header: the file has only " + num(length) + " bytes");

  const std::uint64_t declared_size = read_u32(file, 2);
  const std::uint64_t offset = read_u32(file, 10);
  const std::uint32_t info_size = read_u32(file, 14);
  if (!known_info_size(info_size))
    return reject("unsupported info header size " + num(std::uint64_t{info_size}) +
                  " (expected 12, 40, 52, 56, 64, 108 or 124 bytes)");
  const std::uint64_t headers_end = FileHeaderSize + info_size;
  if (length < headers_end)
    return reject("truncated info header: it needs " + num(headers_end) + " bytes, the file has " + num(length));

  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint32_t planes = 0;
  std::uint32_t bits = 0;
  std::uint64_t compression = 0;
  std::uint64_t image_size = 0;
  if (info_size == 12) {
    width = read_u16(file, 18);
    height = read_u16(file, 20);
    planes = read_u16(file, 22);
    bits = read_u16(file, 24);
  } else {
    width = read_s32(file, 18);
    height = read_s32(file, 22);
    planes = read_u16(file, 26);
    bits = read_u16(file, 28);
    compression = read_u32(file, 30);
    image_size = read_u32(file, 34);
  }

  if (planes != 1) return reject("unsupported number of planes " + num(std::uint64_t{planes}) + " (must be 1)");
  if (bits != 24)
    return reject("unsupported bit depth " + num(std::uint64_t{bits}) + " (only 24-bit bitmaps are supported)");
  if (compression != 0)
    return reject("unsupported compression type " + num(compression) + " (only uncompressed bitmaps are supported)");
  if (width <= 0) return reject("invalid width " + num(width));
  if (height == 0) return reject("invalid height 0");
  const bool top_down = height < 0;
  const std::int64_t rows = top_down ? -height : height;
  if (width > BmpMaxDimension || rows > BmpMaxDimension)
    return reject("image of " + num(width) + " x " + num(rows) + " pixels exceeds the limit of " +
                  num(BmpMaxDimension) + " x " + num(BmpMaxDimension));

  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
  const std::uint64_t pixel_bytes = stride * static_cast<std::uint64_t>(rows);
  const std::uint64_t pixel_end = offset + pixel_bytes;
  if (offset < headers_end)
    return reject("pixel data offset " + num(offset) + " lies inside the headers, which end at byte " +
                  num(headers_end));
  if (offset > length)
    return reject("pixel data offset " + num(offset) + " lies past the end of the file (" + num(length) +
                  " bytes)");
  if (image_size != 0 && image_size < pixel_bytes)
    return reject("header sizes do not add up: image size field is " + num(image_size) + " bytes, but " +
                  num(width) + " x " + num(rows) + " pixels need " + num(pixel_bytes));
  if (declared_size != 0 && declared_size < pixel_end)
    return reject("header sizes do not add up: file size field is " + num(declared_size) +
                  " bytes, but the pixel data ends at byte " + num(pixel_end));
  if (pixel_end > length)
    return reject("truncated pixel data: " + num(width) + " x " + num(rows) + " pixels need " +
                  num(pixel_end) + " bytes, the file has " + num(length));
  if (declared_size > length)
    return reject("truncated file: the header says " + num(declared_size) + " bytes, the file has " + num(length));
  if (image_size != 0 && offset + image_size > length)
    return reject("truncated file: the image size field says " + num(image_size) + " bytes from byte " +
                  num(offset) + ", the file has " + num(length));

  BmpCheck check;
  check.ok = true;
  check.layout.width = static_cast<std::uint32_t>(width);
  check.layout.height = static_cast<std::uint32_t>(rows);
  check.layout.top_down = top_down;
  check.layout.pixel_offset = offset;
  check.layout.row_stride = stride;
  return check;
}

void copy_rgb_row(std::span<const std::uint8_t> file, const BmpLayout& layout, std::uint32_t y,
                  std::uint8_t* rgb) {
  const std::uint64_t stored_row = layout.top_down ? y : layout.height - 1 - y;
  const std::uint8_t* bgr = file.data() + layout.pixel_offset + stored_row * layout.row_stride;
  for (std::uint32_t x = 0; x < layout.width; ++x) {
    rgb[3 * x] = bgr[3 * x + 2];
    rgb[3 * x + 1] = bgr[3 * x + 1];
    rgb[3 * x + 2] = bgr[3 * x];
  }
}

BmpDecode decode_bmp(std::span<const std::uint8_t> file) {
  BmpDecode decode;
  BmpCheck check = check_bmp(file);
  if (!check.ok) {
    decode.problem = std::move(check.problem);
    return decode;
  }
  const BmpLayout& layout = check.layout;
  const std::size_t row_bytes = std::size_t{layout.width} * 3;
  decode.raster.width = layout.width;
  decode.raster.height = layout.height;
  decode.raster.rgb.resize(row_bytes * layout.height);
  for (std::uint32_t y = 0; y < layout.height; ++y)
    copy_rgb_row(file, layout, y, decode.raster.rgb.data() + y * row_bytes);
  decode.ok = true;
  return decode;
}
