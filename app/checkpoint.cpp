#include "app/checkpoint.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "app/checksum.hpp"

#include "runtime/replace_file.hpp"

namespace {

constexpr std::string_view Magic = "flockchase checkpoint 2";
// Without checksums; its contents cannot be trusted to be what was written.
constexpr std::string_view OldMagic = "flockchase checkpoint 1";

std::string crc_text(std::uint32_t crc) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08x", crc);
  return buffer;
}

// Hexadecimal floating point: exact for every extended value.
std::string hex(Real value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%La", value);
  return buffer;
}

bool parse_real(const std::string& text, Real& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtold(text.c_str(), &end);
  return *end == '\0';
}

bool parse_long(const std::string& text, long long low, long long high, long long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtoll(text.c_str(), &end, 10);
  return *end == '\0' && errno == 0 && out >= low && out <= high;
}

}  // namespace

std::string checkpoint_text(const Checkpoint& c) {
  std::ostringstream out;
  out << Magic << '\n'
      << "options " << c.options << '\n'
      << "column " << c.column << '\n'
      << "row " << c.row << '\n'
      << "results_lines " << c.results_lines << '\n'
      << "results_crc " << crc_text(c.results_crc) << '\n'
      << "first_point " << (c.first_point ? 1 : 0) << '\n'
      << "random " << c.random_state << ' ' << c.random_last << '\n'
      << "exponent " << hex(c.exponent) << '\n'
      << "mean_divergence " << hex(c.mean_divergence) << '\n'
      << "spread " << hex(c.spread) << '\n'
      << "ref_state";
  for (int i = 1; i <= 32; ++i) out << ' ' << hex(c.ref_state[i]);
  out << "\nend\n";
  const std::string body = out.str();
  return body + "crc " + crc_text(crc_of(body)) + "\n";
}

std::optional<Checkpoint> parse_checkpoint(std::string_view text, std::string& error) {
  const std::string_view first = text.substr(0, text.find('\n'));
  if (first == OldMagic) {
    error = "written by an older flockchase without checksums; it cannot be resumed, start the sweep afresh";
    return std::nullopt;
  }
  if (first != Magic) {
    error = "not a flockchase checkpoint";
    return std::nullopt;
  }
  // The last line is "crc XXXXXXXX" over everything before it.
  constexpr std::size_t CrcLine = 13;
  const std::size_t body_size = text.size() >= CrcLine ? text.size() - CrcLine : 0;
  const std::string_view body = text.substr(0, body_size);
  if (text.size() < CrcLine || body.empty() || body.back() != '\n' || text.substr(body_size, 4) != "crc " ||
      text.back() != '\n' || text.substr(body_size + 4, 8) != crc_text(crc_of(body))) {
    error = "damaged checkpoint (its checksum does not match)";
    return std::nullopt;
  }
  std::istringstream in{std::string(body)};
  std::string line;
  std::getline(in, line);
  Checkpoint c;
  auto fail = [&](const std::string& what) {
    error = "damaged checkpoint (" + what + ")";
    return std::nullopt;
  };
  auto field = [&](std::string_view key, std::vector<std::string>& words) {
    if (!std::getline(in, line)) return false;
    std::istringstream parts(line);
    std::string name;
    parts >> name;
    if (name != key) return false;
    words.clear();
    if (key == "options") {
      std::string rest;
      std::getline(parts, rest);
      if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
      words.push_back(rest);
      return true;
    }
    for (std::string w; parts >> w;) words.push_back(w);
    return true;
  };
  std::vector<std::string> w;
  long long n = 0, m = 0;
  if (!field("options", w)) return fail("options");
  c.options = w[0];
  if (!field("column", w) || w.size() != 1 || !parse_long(w[0], 51, 849, n)) return fail("column");
  c.column = static_cast<std::int32_t>(n);
  if (!field("row", w) || w.size() != 1 || !parse_long(w[0], INT32_MIN, INT32_MAX, n)) return fail("row");
  c.row = static_cast<std::int32_t>(n);
  if (!field("results_lines", w) || w.size() != 1 || !parse_long(w[0], 1, 799, n)) return fail("results_lines");
  c.results_lines = static_cast<std::int32_t>(n);
  if (!field("results_crc", w) || w.size() != 1 || w[0].size() != 8 ||
      w[0].find_first_not_of("0123456789abcdef") != std::string::npos)
    return fail("results_crc");
  c.results_crc = static_cast<std::uint32_t>(std::strtoul(w[0].c_str(), nullptr, 16));
  if (!field("first_point", w) || w.size() != 1 || !parse_long(w[0], 0, 1, n)) return fail("first_point");
  c.first_point = n == 1;
  if (!field("random", w) || w.size() != 2 || !parse_long(w[0], 0, UINT32_MAX, n) ||
      !parse_long(w[1], 0, UINT32_MAX, m))
    return fail("random");
  c.random_state = static_cast<std::uint32_t>(n);
  c.random_last = static_cast<std::uint32_t>(m);
  const std::pair<const char*, Real*> reals[] = {
      {"exponent", &c.exponent}, {"mean_divergence", &c.mean_divergence}, {"spread", &c.spread}};
  for (auto [key, target] : reals) {
    if (!field(key, w) || w.size() != 1 || !parse_real(w[0], *target)) return fail(key);
  }
  if (!field("ref_state", w) || w.size() != 32) return fail("ref_state");
  for (int i = 1; i <= 32; ++i) {
    if (!parse_real(w[i - 1], c.ref_state[i])) return fail("ref_state");
  }
  if (!std::getline(in, line) || line != "end" || in.peek() != EOF) return fail("end");
  return c;
}

bool write_checkpoint(const std::string& path, const Checkpoint& checkpoint, std::string& error) {
  std::string reason;
  if (replace_file(path, checkpoint_text(checkpoint), reason)) return true;
  error = "cannot write " + path + ": " + reason;
  return false;
}

std::optional<Checkpoint> read_checkpoint(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "no checkpoint " + path + " here: " + std::strerror(errno);
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::optional<Checkpoint> c = parse_checkpoint(text.str(), error);
  if (!c) error = path + ": " + error;
  return c;
}
