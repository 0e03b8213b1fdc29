#include "app/files/checkpoint.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <span>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "app/files/checksum.hpp"
#include "app/files/number_text.hpp"
#include "app/measure/parameters.hpp"

#include "runtime/file_guard.hpp"
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

// The last line is "crc XXXXXXXX" over everything before it.
constexpr std::string_view CrcKey = "crc ";
constexpr std::size_t CrcDigits = 8;
constexpr std::size_t CrcLine = CrcKey.size() + CrcDigits + 1;

// The body of the checkpoint, up to its crc line, once its first line and its
// checksum are right; none with the reason otherwise.
std::optional<std::string_view> checked_body(std::string_view text, std::string& error) {
  const std::string_view first = text.substr(0, text.find('\n'));
  if (first == OldMagic) {
    error = "written by an older flockchase without checksums; it cannot be resumed, start the sweep afresh";
    return std::nullopt;
  }
  if (first != Magic) {
    error = "not a flockchase checkpoint";
    return std::nullopt;
  }
  const std::size_t body_size = text.size() >= CrcLine ? text.size() - CrcLine : 0;
  const std::string_view body = text.substr(0, body_size);
  if (text.size() < CrcLine || body.empty() || body.back() != '\n' || text.substr(body_size, CrcKey.size()) != CrcKey ||
      text.back() != '\n' || text.substr(body_size + CrcKey.size(), CrcDigits) != crc_text(crc_of(body))) {
    error = "damaged checkpoint (its checksum does not match)";
    return std::nullopt;
  }
  return body;
}

// The lines of a checkpoint's body after its first, one field a line: its
// key, then its words.
class FieldReader {
 public:
  explicit FieldReader(std::string_view body) : in_{std::string(body)} {
    std::string magic;
    std::getline(in_, magic);
  }

  // The words after `key` on the next line, when that line has that key and
  // `count` words.
  std::optional<std::vector<std::string>> words(std::string_view key, std::size_t count) {
    std::optional<std::istringstream> parts = line_of(key);
    if (!parts) return std::nullopt;
    std::vector<std::string> words;
    for (std::string w; *parts >> w;) words.push_back(w);
    if (words.size() != count) return std::nullopt;
    return words;
  }

  // All of the next line after `key` and one space, when it has that key.
  std::optional<std::string> rest(std::string_view key) {
    std::optional<std::istringstream> parts = line_of(key);
    if (!parts) return std::nullopt;
    std::string rest;
    std::getline(*parts, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    return rest;
  }

  template <class T>
  bool integer(std::string_view key, T low, T high, T& out) {
    const std::optional<std::vector<std::string>> w = words(key, 1);
    const std::optional<T> value = w ? parse_integer<T>((*w)[0], low, high) : std::nullopt;
    if (value) out = *value;
    return value.has_value();
  }

  // The key of the next line, which is not read.
  std::string next_key() {
    const std::streampos at = in_.tellg();
    std::string line;
    std::getline(in_, line);
    in_.clear();
    in_.seekg(at);
    return line.substr(0, line.find(' '));
  }

  // Whether the next line is "end" and the last.
  bool at_end() {
    std::string line;
    return std::getline(in_, line) && line == "end" && in_.peek() == EOF;
  }

 private:
  // The next line past its key, when it has that key.
  std::optional<std::istringstream> line_of(std::string_view key) {
    std::string line;
    if (!std::getline(in_, line)) return std::nullopt;
    std::istringstream parts(line);
    std::string name;
    parts >> name;
    if (name != key) return std::nullopt;
    return parts;
  }

  std::istringstream in_;
};

// The words of the line of `key`, as many as there are targets, as reals
// into them.
bool read_reals(FieldReader& in, std::string_view key, std::span<Real> targets) {
  const std::optional<std::vector<std::string>> w = in.words(key, targets.size());
  if (!w) return false;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const std::optional<Real> value = parse_real((*w)[i]);
    if (!value) return false;
    targets[i] = *value;
  }
  return true;
}

bool read_crc(FieldReader& in, std::string_view key, std::uint32_t& out) {
  const std::optional<std::vector<std::string>> w = in.words(key, 1);
  if (!w || (*w)[0].size() != CrcDigits || (*w)[0].find_first_not_of("0123456789abcdef") != std::string::npos)
    return false;
  out = static_cast<std::uint32_t>(std::strtoul((*w)[0].c_str(), nullptr, 16));
  return true;
}

// The fields of the body into c, in the order they are written: the key of
// the first that is missing or damaged, none when all are right.
std::optional<std::string_view> read_fields(FieldReader& in, Checkpoint& c) {
  const std::optional<std::string> options = in.rest("options");
  if (!options) return "options";
  c.options = *options;
  if (!in.integer("column", LastColumn, FirstColumn, c.column)) return "column";
  if (!in.integer("row", INT32_MIN, INT32_MAX, c.row)) return "row";
  if (!in.integer("results_lines", 1, ColumnCount, c.results_lines)) return "results_lines";
  if (!read_crc(in, "results_crc", c.results_crc)) return "results_crc";
  if (in.next_key() == "members_lines") {
    std::int32_t lines = 0;
    if (!in.integer("members_lines", 0, INT32_MAX, lines)) return "members_lines";
    c.members_lines = lines;
    if (!read_crc(in, "members_crc", c.members_crc)) return "members_crc";
  }
  if (in.next_key() == "spectrum_lines") {
    std::int32_t lines = 0;
    if (!in.integer("spectrum_lines", 0, ColumnCount, lines)) return "spectrum_lines";
    c.spectrum_lines = lines;
    if (!read_crc(in, "spectrum_crc", c.spectrum_crc)) return "spectrum_crc";
  }
  int first_point = 0;
  if (!in.integer("first_point", 0, 1, first_point)) return "first_point";
  c.first_point = first_point == 1;
  const std::optional<std::vector<std::string>> random = in.words("random", 2);
  const std::optional<std::uint32_t> state = random ? parse_integer<std::uint32_t>((*random)[0]) : std::nullopt;
  const std::optional<std::uint32_t> last = random ? parse_integer<std::uint32_t>((*random)[1]) : std::nullopt;
  if (!state || !last) return "random";
  c.random_state = *state;
  c.random_last = *last;
  const std::pair<std::string_view, Real*> reals[] = {
      {"exponent", &c.exponent}, {"mean_divergence", &c.mean_divergence}, {"spread", &c.spread}};
  for (auto [key, target] : reals) {
    if (!read_reals(in, key, {target, 1})) return key;
  }
  if (!read_reals(in, "ref_state", std::span<Real>(c.ref_state).subspan(1))) return "ref_state";
  if (!in.at_end()) return "end";
  return std::nullopt;
}

}  // namespace

std::string checkpoint_text(const Checkpoint& c) {
  std::ostringstream out;
  out << Magic << '\n'
      << "options " << c.options << '\n'
      << "column " << c.column << '\n'
      << "row " << c.row << '\n'
      << "results_lines " << c.results_lines << '\n'
      << "results_crc " << crc_text(c.results_crc) << '\n';
  if (c.members_lines) {
    out << "members_lines " << *c.members_lines << '\n' << "members_crc " << crc_text(c.members_crc) << '\n';
  }
  if (c.spectrum_lines) {
    out << "spectrum_lines " << *c.spectrum_lines << '\n' << "spectrum_crc " << crc_text(c.spectrum_crc) << '\n';
  }
  out << "first_point " << (c.first_point ? 1 : 0) << '\n'
      << "random " << c.random_state << ' ' << c.random_last << '\n'
      << "exponent " << hex(c.exponent) << '\n'
      << "mean_divergence " << hex(c.mean_divergence) << '\n'
      << "spread " << hex(c.spread) << '\n'
      << "ref_state";
  for (std::int32_t i = 1; i <= StateSize; ++i) out << ' ' << hex(c.ref_state[i]);
  out << "\nend\n";
  const std::string body = out.str();
  return body + "crc " + crc_text(crc_of(body)) + "\n";
}

std::optional<Checkpoint> parse_checkpoint(std::string_view text, std::string& error) {
  const std::optional<std::string_view> body = checked_body(text, error);
  if (!body) return std::nullopt;
  FieldReader fields(*body);
  Checkpoint c;
  if (const std::optional<std::string_view> damaged = read_fields(fields, c)) {
    error = "damaged checkpoint (" + std::string(*damaged) + ")";
    return std::nullopt;
  }
  return c;
}

bool write_checkpoint(const std::string& path, const Checkpoint& checkpoint, std::string& error) {
  std::string reason;
  if (replace_file(path, checkpoint_text(checkpoint), reason)) return true;
  error = "cannot write " + path + ": " + reason;
  return false;
}

std::optional<Checkpoint> read_checkpoint(const std::string& path, std::string& error) {
  std::string text, reason;
  if (!read_regular_file(path, CheckpointLimit, text, reason)) {
    error = "no checkpoint " + path + " here: " + reason;
    return std::nullopt;
  }
  std::optional<Checkpoint> c = parse_checkpoint(text, error);
  if (!c) error = path + ": " + error;
  return c;
}
