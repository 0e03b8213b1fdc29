#include "app/files/checksum.hpp"

#include <zlib.h>

#include <algorithm>

std::uint32_t crc_of(std::string_view bytes, std::uint32_t crc) {
  // In pieces: zlib takes a 32-bit length.
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), std::size_t{1} << 30);
    crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n)));
    bytes.remove_prefix(n);
  }
  return crc;
}
