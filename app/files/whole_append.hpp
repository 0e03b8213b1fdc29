// Appending to a run's file whole or not at all: a write cut short (a full
// disk) is taken back, so the file still ends with a whole line, and the
// CRC-32 the checkpoint vouches for moves on only with what was written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Appends `text` (whole lines) to `fd`, the file at `path`; false with a
// one-line reason, the file as it was where it could be put back.
bool append_whole(int fd, const std::string& path, std::string_view text, std::uint32_t& crc, std::string& error);
