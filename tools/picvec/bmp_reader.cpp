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

// The fields of both headers that the check looks at.
struct BmpHeaders {
  std::uint64_t declared_size = 0;  // of the whole file, 0 when not given
  std::uint64_t offset = 0;         // of the pixel data
  std::uint64_t headers_end = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows stored top-down
  std::uint32_t planes = 0;
  std::uint32_t bits = 0;
  std::uint64_t compression = 0;
  std::uint64_t image_size = 0;  // of the pixel data, 0 when not given
  bool top_down = false;
  std::int64_t rows = 0;
};

std::uint64_t row_stride(std::int64_t width) { return (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4; }

// The info header's fields; the 12-byte variant has 16-bit width and height
// and nothing after the bit depth.
void read_info_header(std::span<const std::uint8_t> file, std::uint32_t info_size, BmpHeaders& h) {
  if (info_size == 12) {
    h.width = read_u16(file, 18);
    h.height = read_u16(file, 20);
    h.planes = read_u16(file, 22);
    h.bits = read_u16(file, 24);
  } else {
    h.width = read_s32(file, 18);
    h.height = read_s32(file, 22);
    h.planes = read_u16(file, 26);
    h.bits = read_u16(file, 28);
    h.compression = read_u32(file, 30);
    h.image_size = read_u32(file, 34);
  }
  h.top_down = h.height < 0;
  h.rows = h.top_down ? -h.height : h.height;
}

// Reads both headers of a file of `length` bytes; the problem when the file
// is no BMP or is cut off within them, else "".
std::string read_headers(std::span<const std::uint8_t> file, std::uint64_t length, BmpHeaders& h) {
  if (file.size() < length && file.size() < BmpHeadersMax) return "the start of the file could not be read";
  if (length == 0) return "the file is empty";
  if (length < 2 || file[0] != 'B' || file[1] != 'M') return "not a BMP file (it does not start with \"BM\")";
  if (length < FileHeaderSize + 4) return "truncated header: the file has only " + num(length) + " bytes";

  h.declared_size = read_u32(file, 2);
  h.offset = read_u32(file, 10);
  const std::uint32_t info_size = read_u32(file, 14);
  if (!known_info_size(info_size))
    return "unsupported info header size " + num(std::uint64_t{info_size}) +
           " (expected 12, 40, 52, 56, 64, 108 or 124 bytes)";
  h.headers_end = FileHeaderSize + info_size;
  if (length < h.headers_end)
    return "truncated info header: it needs " + num(h.headers_end) + " bytes, the file has " + num(length);
  read_info_header(file, info_size, h);
  return "";
}

// What makes the image one this reader does not take, else "".
std::string format_problem(const BmpHeaders& h) {
  if (h.planes != 1) return "unsupported number of planes " + num(std::uint64_t{h.planes}) + " (must be 1)";
  if (h.bits != 24)
    return "unsupported bit depth " + num(std::uint64_t{h.bits}) + " (only 24-bit bitmaps are supported)";
  if (h.compression != 0)
    return "unsupported compression type " + num(h.compression) + " (only uncompressed bitmaps are supported)";
  if (h.width <= 0) return "invalid width " + num(h.width);
  if (h.height == 0) return "invalid height 0";
  if (h.width > BmpMaxDimension || h.rows > BmpMaxDimension)
    return "image of " + num(h.width) + " x " + num(h.rows) + " pixels exceeds the limit of " +
           num(BmpMaxDimension) + " x " + num(BmpMaxDimension);
  return "";
}

// Whether the pixel data lies after the headers and within the file, and
// the sizes the headers give agree with it; the problem, else "". All
// arithmetic is on 64-bit values built from at most 32-bit fields and
// dimensions already bounded by BmpMaxDimension, so nothing can wrap.
std::string extent_problem(const BmpHeaders& h, std::uint64_t length) {
  const std::uint64_t pixel_bytes = row_stride(h.width) * static_cast<std::uint64_t>(h.rows);
  const std::uint64_t pixel_end = h.offset + pixel_bytes;
  if (h.offset < h.headers_end)
    return "pixel data offset " + num(h.offset) + " lies inside the headers, which end at byte " +
           num(h.headers_end);
  if (h.offset > length)
    return "pixel data offset " + num(h.offset) + " lies past the end of the file (" + num(length) + " bytes)";
  if (h.image_size != 0 && h.image_size < pixel_bytes)
    return "header sizes do not add up: image size field is " + num(h.image_size) + " bytes, but " +
           num(h.width) + " x " + num(h.rows) + " pixels need " + num(pixel_bytes);
  if (h.declared_size != 0 && h.declared_size < pixel_end)
    return "header sizes do not add up: file size field is " + num(h.declared_size) +
           " bytes, but the pixel data ends at byte " + num(pixel_end);
  if (pixel_end > length)
    return "truncated pixel data: " + num(h.width) + " x " + num(h.rows) + " pixels need " + num(pixel_end) +
           " bytes, the file has " + num(length);
  if (h.declared_size > length)
    return "truncated file: the header says " + num(h.declared_size) + " bytes, the file has " + num(length);
  if (h.image_size != 0 && h.offset + h.image_size > length)
    return "truncated file: the image size field says " + num(h.image_size) + " bytes from byte " +
           num(h.offset) + ", the file has " + num(length);
  return "";
}

}  // namespace

BmpCheck check_bmp(std::span<const std::uint8_t> file) { return check_bmp_start(file, file.size()); }

BmpCheck check_bmp_start(std::span<const std::uint8_t> file, std::uint64_t length) {
  // Every field is read only once the length checks before it have shown it
  // to lie within the headers, and so in `file`.
  BmpHeaders h;
  std::string problem = read_headers(file, length, h);
  if (problem.empty()) problem = format_problem(h);
  if (problem.empty()) problem = extent_problem(h, length);
  if (!problem.empty()) return reject(std::move(problem));

  BmpCheck check;
  check.ok = true;
  check.layout.width = static_cast<std::uint32_t>(h.width);
  check.layout.height = static_cast<std::uint32_t>(h.rows);
  check.layout.top_down = h.top_down;
  check.layout.pixel_offset = h.offset;
  check.layout.row_stride = row_stride(h.width);
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
