// Replacing a file's contents so that readers see either the old file or the
// complete new one, never a mixture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes `bytes` to a new file in the directory of `path`, flushes it to the
// disk and renames it over `path`. An existing file keeps its permissions.
// On failure nothing at `path` changes, the new file is removed, and
// `reason` says why; the result is false.
bool replace_file(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& reason);
