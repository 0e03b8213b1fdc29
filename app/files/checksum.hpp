// The checksum that ties a checkpoint to itself and to the results file.
#pragma once

#include <cstdint>
#include <string_view>

// CRC-32 (zlib's) of `bytes`, continuing from `crc`.
std::uint32_t crc_of(std::string_view bytes, std::uint32_t crc = 0);
