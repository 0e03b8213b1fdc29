// The members file of an ensemble run, NAME.members.csv beside the results
// file: a header line, then a line per member of every finished column,
// the column's lines written together as the column ends. Reals carry 21
// significant digits; the checkpoint vouches for the file as for the
// results file (its line count and checksum).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/measure/member_result.hpp"

extern const char* const MembersHeader;

std::string members_line(const MemberResult& member);
std::optional<MemberResult> parse_members_line(std::string_view line);

// The most a members file is read of: 799 columns of a few hundred
// members of 300 bytes.
constexpr std::size_t MembersFileLimit = 256u << 20;

struct MembersFile {
  int fd = -1;  // opened for appending
  std::string path;
  std::int32_t lines = 0;  // member lines, the header not counted
  std::uint32_t crc = 0;   // CRC-32 of everything written, header included
  MembersFile() = default;
  MembersFile(const MembersFile&) = delete;
  MembersFile& operator=(const MembersFile&) = delete;
  ~MembersFile();
};

// A new members file holding the header and the given lines (written whole
// to a temporary and renamed); false with a one-line reason on failure.
bool members_start(MembersFile& file, const std::string& path, const std::vector<MemberResult>& kept,
                   std::string& error);
// Appends a column's lines, all or none; false with a one-line reason.
bool members_append(MembersFile& file, const std::vector<MemberResult>& members, std::string& error);

// The lines a checkpoint vouches for: the header and the first `lines`
// member lines, whose checksum must be `crc`; what follows may only be one
// column's lines that its checkpoint did not see, and is dropped. None with
// a one-line reason otherwise.
std::optional<std::vector<MemberResult>> members_vouched(std::string_view text, const std::string& path,
                                                         std::int32_t lines, std::uint32_t crc, std::string& error);
// Reads every line of a members file; none with a one-line reason.
std::optional<std::vector<MemberResult>> read_members_file(const std::string& path, std::string& error);
