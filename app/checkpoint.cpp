#include "app/checkpoint.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view Magic = "flockchase checkpoint 1";

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
      << "first_point " << (c.first_point ? 1 : 0) << '\n'
      << "random " << c.random_state << ' ' << c.random_last << '\n'
      << "exponent " << hex(c.exponent) << '\n'
      << "mean_divergence " << hex(c.mean_divergence) << '\n'
      << "spread " << hex(c.spread) << '\n'
      << "ref_state";
  for (int i = 1; i <= 32; ++i) out << ' ' << hex(c.ref_state[i]);
  out << "\nend\n";
  return out.str();
}

std::optional<Checkpoint> parse_checkpoint(std::string_view text, std::string& error) {
  std::istringstream in{std::string(text)};
  std::string line;
  if (!std::getline(in, line) || line != Magic) {
    error = "not a flockchase checkpoint";
    return std::nullopt;
  }
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
  if (!std::getline(in, line) || line != "end") return fail("end");
  return c;
}

bool write_checkpoint(const std::string& path, const Checkpoint& checkpoint, std::string& error) {
  const std::string temporary = path + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "w");
  if (!out) {
    error = "cannot write " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const std::string text = checkpoint_text(checkpoint);
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
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
