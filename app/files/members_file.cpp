#include "app/files/members_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "app/files/checksum.hpp"
#include "app/files/number_text.hpp"
#include "app/files/whole_append.hpp"
#include "runtime/file_guard.hpp"
#include "runtime/replace_file.hpp"

const char* const MembersHeader =
    "column,damping,member,start,end,chaotic_time,log_growth,chaotic_exponent,chaotic_standard_error,escape_time,"
    "regular_exponent,regular_standard_error,attractor,period,chaser_distance,flock_radius,drift_speed,spin,"
    "laminar_phases,passes,steps,rejected_steps";

namespace {

constexpr std::size_t FieldCount = 22;

std::string real_text(Real value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.21Lg", value);
  return buffer;
}

std::string double_text(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

template <class T>
std::string optional_text(const std::optional<T>& value) {
  if (!value) return {};
  if constexpr (std::is_same_v<T, Real>) return real_text(*value);
  if constexpr (std::is_same_v<T, double>) return double_text(*value);
  if constexpr (std::is_integral_v<T>) return std::to_string(*value);
}

std::vector<std::string_view> split(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = line.find(',', from);
    fields.push_back(line.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) return fields;
    from = at + 1;
  }
}

bool read(std::string_view field, Real& out) {
  const std::optional<Real> v = parse_real(field);
  if (v) out = *v;
  return v.has_value();
}

template <class T>
bool read_optional(std::string_view field, std::optional<T>& out) {
  if (field.empty()) return true;
  if constexpr (std::is_floating_point_v<T>) {
    const std::optional<Real> v = parse_real(field);
    if (v) out = static_cast<T>(*v);
  } else {
    out = parse_integer<T>(field);
  }
  return out.has_value();
}

}  // namespace

std::string_view member_fate_name(MemberFate fate) {
  switch (fate) {
    case MemberFate::Chaotic: return "chaotic";
    case MemberFate::Settled: return "settled";
    case MemberFate::Captured: return "captured";
    case MemberFate::Stalled: return "stalled";
  }
  return "?";
}

std::optional<MemberFate> member_fate_from_name(std::string_view name) {
  for (MemberFate fate : {MemberFate::Chaotic, MemberFate::Settled, MemberFate::Captured, MemberFate::Stalled}) {
    if (member_fate_name(fate) == name) return fate;
  }
  return std::nullopt;
}

std::string members_line(const MemberResult& m) {
  return std::to_string(m.column) + ',' + real_text(m.damping) + ',' + std::to_string(m.member) + ',' +
         (m.continued ? "continued" : "fresh") + ',' + std::string(member_fate_name(m.fate)) + ',' +
         real_text(m.chaotic_time) + ',' + real_text(m.log_growth) + ',' + optional_text(m.chaotic_exponent) + ',' +
         optional_text(m.chaotic_standard_error) + ',' + optional_text(m.escape_time) + ',' +
         optional_text(m.regular_exponent) + ',' + optional_text(m.regular_standard_error) + ',' +
         optional_text(m.attractor) + ',' + optional_text(m.period) + ',' + optional_text(m.chaser_distance) + ',' +
         optional_text(m.flock_radius) + ',' + optional_text(m.drift_speed) + ',' + optional_text(m.spin) + ',' +
         std::to_string(m.laminar_phases) + ',' + std::to_string(m.passes) + ',' + optional_text(m.steps) + ',' +
         optional_text(m.rejected_steps);
}

std::optional<MemberResult> parse_members_line(std::string_view line) {
  const std::vector<std::string_view> f = split(line);
  if (f.size() != FieldCount) return std::nullopt;
  MemberResult m;
  const std::optional<std::int32_t> column = parse_integer<std::int32_t>(f[0]);
  const std::optional<std::int32_t> member = parse_integer<std::int32_t>(f[2], 0);
  const std::optional<MemberFate> fate = member_fate_from_name(f[4]);
  const std::optional<std::int32_t> laminar = parse_integer<std::int32_t>(f[18], 0);
  const std::optional<std::int32_t> passes = parse_integer<std::int32_t>(f[19], 0);
  if (!column || !member || !fate || !laminar || !passes || (f[3] != "continued" && f[3] != "fresh")) {
    return std::nullopt;
  }
  m.column = *column;
  m.member = *member;
  m.continued = f[3] == "continued";
  m.fate = *fate;
  m.laminar_phases = *laminar;
  m.passes = *passes;
  if (!read(f[1], m.damping) || !read(f[5], m.chaotic_time) || !read(f[6], m.log_growth) ||
      !read_optional(f[7], m.chaotic_exponent) || !read_optional(f[8], m.chaotic_standard_error) ||
      !read_optional(f[9], m.escape_time) || !read_optional(f[10], m.regular_exponent) ||
      !read_optional(f[11], m.regular_standard_error) || !read_optional(f[12], m.attractor) ||
      !read_optional(f[13], m.period) || !read_optional(f[14], m.chaser_distance) ||
      !read_optional(f[15], m.flock_radius) || !read_optional(f[16], m.drift_speed) ||
      !read_optional(f[17], m.spin) || !read_optional(f[20], m.steps) || !read_optional(f[21], m.rejected_steps)) {
    return std::nullopt;
  }
  return m;
}

MembersFile::~MembersFile() {
  if (fd >= 0) close(fd);
}

bool members_start(MembersFile& file, const std::string& path, const std::vector<MemberResult>& kept,
                   std::string& error) {
  std::string text = std::string(MembersHeader) + '\n';
  for (const MemberResult& m : kept) text += members_line(m) + '\n';
  std::string reason;
  if (!replace_file(path, text, reason)) {
    error = "cannot write " + path + ": " + reason;
    return false;
  }
  // Never through a link planted since the rename.
  const int fd = open_regular_append(path, reason);
  if (fd < 0) {
    error = "cannot write " + path + ": " + reason;
    return false;
  }
  if (file.fd >= 0) close(file.fd);
  file.fd = fd;
  file.path = path;
  file.lines = static_cast<std::int32_t>(kept.size());
  file.crc = crc_of(text);
  return true;
}

bool members_append(MembersFile& file, const std::vector<MemberResult>& members, std::string& error) {
  if (file.fd < 0) return false;
  std::string text;
  for (const MemberResult& m : members) text += members_line(m) + '\n';
  // A column's lines are in the file whole or not at all.
  if (!append_whole(file.fd, file.path, text, file.crc, error)) return false;
  file.lines += static_cast<std::int32_t>(members.size());
  return true;
}

namespace {

// Every whole line of `text` after the header, parsed; `last` is where the
// lines that were read end.
std::optional<std::vector<MemberResult>> parse_lines(std::string_view text, std::size_t count_limit,
                                                     const std::string& path, std::size_t& last, std::string& error) {
  std::vector<MemberResult> members;
  const std::size_t header_end = text.find('\n');
  if (header_end == std::string_view::npos || text.substr(0, header_end) != MembersHeader) {
    error = path + ": line 1 is not the header of a flockchase members file";
    return std::nullopt;
  }
  std::size_t from = header_end + 1;
  while (members.size() < count_limit && from < text.size()) {
    const std::size_t newline = text.find('\n', from);
    if (newline == std::string_view::npos) break;
    std::optional<MemberResult> m = parse_members_line(text.substr(from, newline - from));
    if (!m) {
      error = path + ": line " + std::to_string(members.size() + 2) + " is damaged";
      return std::nullopt;
    }
    members.push_back(*m);
    from = newline + 1;
  }
  last = from;
  return members;
}

}  // namespace

std::optional<std::vector<MemberResult>> members_vouched(std::string_view text, const std::string& path,
                                                         std::int32_t lines, std::uint32_t crc, std::string& error) {
  std::size_t end = 0;
  std::optional<std::vector<MemberResult>> members =
      parse_lines(text, static_cast<std::size_t>(lines), path, end, error);
  if (!members) return std::nullopt;
  if (static_cast<std::int32_t>(members->size()) != lines) {
    error = path + " holds fewer members than the checkpoint says";
    return std::nullopt;
  }
  if (crc_of(text.substr(0, end)) != crc) {
    error = path + " is not the one the checkpoint was written with (its checksum does not match)";
    return std::nullopt;
  }
  // What follows can only be lines the checkpoint had not yet seen.
  std::size_t tail_end = 0;
  std::string tail_error;
  const std::string rest = std::string(MembersHeader) + '\n' + std::string(text.substr(end));
  if (!parse_lines(rest, static_cast<std::size_t>(-1), path, tail_end, tail_error)) {
    error = path + ": a line after the checkpoint's is damaged";
    return std::nullopt;
  }
  return members;
}

std::optional<std::vector<MemberResult>> read_members_file(const std::string& path, std::string& error) {
  std::string text, reason;
  if (!read_regular_file(path, MembersFileLimit, text, reason)) {
    error = path + ": " + reason;
    return std::nullopt;
  }
  std::size_t end = 0;
  std::optional<std::vector<MemberResult>> members = parse_lines(text, static_cast<std::size_t>(-1), path, end, error);
  if (members && end != text.size()) {
    error = path + ": its last line is cut short";
    return std::nullopt;
  }
  return members;
}
