#include "app/files/spectrum_file.hpp"

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

namespace {

// The fields after the exponents and their errors.
constexpr const char* TailFields =
    "sum,trace,zero_exponents,positive_exponents,kaplan_yorke,kaplan_yorke_error,certificate";
constexpr std::size_t TailCount = 7;

std::string real_text(Real value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.21Lg", value);
  return buffer;
}

std::string optional_text(const std::optional<Real>& value) { return value ? real_text(*value) : std::string(); }

std::string optional_count(const std::optional<std::int32_t>& value) {
  return value ? std::to_string(*value) : std::string();
}

std::vector<std::string_view> split(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t from = 0;;) {
    const std::size_t at = line.find(',', from);
    fields.push_back(line.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) return fields;
    from = at + 1;
  }
}

bool read_optional_real(std::string_view field, std::optional<Real>& out) {
  if (field.empty()) return true;
  out = parse_real(field);
  return out.has_value();
}

bool read_optional_count(std::string_view field, std::optional<std::int32_t>& out) {
  if (field.empty()) return true;
  out = parse_integer<std::int32_t>(field, 0, SpectrumFileMostExponents);
  return out.has_value();
}

bool known_certificate(std::string_view text) {
  return text == "ok" || text == "unchecked" || text == "sum" || text == "zeros" || text == "sum+zeros";
}

}  // namespace

std::string spectrum_header(int exponents) {
  std::string header = "column,damping,K";
  for (int k = 1; k <= exponents; ++k) header += ",exponent_" + std::to_string(k);
  for (int k = 1; k <= exponents; ++k) header += ",standard_error_" + std::to_string(k);
  return header + ',' + TailFields;
}

std::optional<int> spectrum_header_exponents(std::string_view header) {
  for (int k = 1; k <= SpectrumFileMostExponents; ++k) {
    if (header == spectrum_header(k)) return k;
  }
  return std::nullopt;
}

std::string spectrum_line(const SpectrumLine& s) {
  std::string line = std::to_string(s.column) + ',' + real_text(s.damping) + ',' + std::to_string(s.exponents.size());
  for (Real e : s.exponents) line += ',' + real_text(e);
  for (const std::optional<Real>& e : s.errors) line += ',' + optional_text(e);
  line += ',' + real_text(s.sum) + ',' + real_text(s.trace) + ',' + optional_count(s.zero_exponents) + ',' +
          optional_count(s.positive_exponents) + ',' + optional_text(s.kaplan_yorke) + ',' +
          optional_text(s.kaplan_yorke_error) + ',' + s.certificate;
  return line;
}

std::optional<SpectrumLine> parse_spectrum_line(std::string_view text, int exponents) {
  const std::vector<std::string_view> f = split(text);
  const std::size_t k = static_cast<std::size_t>(exponents);
  if (exponents < 1 || f.size() != 3 + 2 * k + TailCount) return std::nullopt;
  SpectrumLine s;
  const std::optional<std::int32_t> column = parse_integer<std::int32_t>(f[0]);
  const std::optional<Real> damping = parse_real(f[1]);
  if (!column || !damping || parse_integer<int>(f[2]) != exponents) return std::nullopt;
  s.column = *column;
  s.damping = *damping;
  for (std::size_t i = 0; i < k; ++i) {
    const std::optional<Real> e = parse_real(f[3 + i]);
    std::optional<Real> error;
    if (!e || !read_optional_real(f[3 + k + i], error)) return std::nullopt;
    s.exponents.push_back(*e);
    s.errors.push_back(error);
  }
  const std::string_view* tail = &f[3 + 2 * k];
  const std::optional<Real> sum = parse_real(tail[0]), trace = parse_real(tail[1]);
  if (!sum || !trace || !read_optional_count(tail[2], s.zero_exponents) ||
      !read_optional_count(tail[3], s.positive_exponents) || !read_optional_real(tail[4], s.kaplan_yorke) ||
      !read_optional_real(tail[5], s.kaplan_yorke_error) || !known_certificate(tail[6]))
    return std::nullopt;
  s.sum = *sum;
  s.trace = *trace;
  s.certificate = std::string(tail[6]);
  return s;
}

std::optional<std::vector<SpectrumLine>> read_spectrum_file(const std::string& path, std::string& error,
                                                            int* exponents_read) {
  std::string text, reason;
  if (!read_regular_file(path, SpectrumFileLimit, text, reason)) {
    error = path + ": " + reason;
    return std::nullopt;
  }
  // A file ends with its last line's new line; a line cut short is damaged.
  std::vector<std::string_view> lines;
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t newline = text.find('\n', from);
    const std::size_t end = newline == std::string::npos ? text.size() : newline;
    lines.push_back(std::string_view(text).substr(from, end - from));
    from = end + 1;
  }
  const std::optional<int> exponents = lines.empty() ? std::nullopt : spectrum_header_exponents(lines[0]);
  if (!exponents) {
    error = path + ": line 1 is not the header of a flockchase spectrum file";
    return std::nullopt;
  }
  if (exponents_read) *exponents_read = *exponents;
  std::vector<SpectrumLine> read;
  for (std::size_t number = 1; number < lines.size(); ++number) {
    std::optional<SpectrumLine> s = parse_spectrum_line(lines[number], *exponents);
    if (!s) {
      error = path + ": line " + std::to_string(number + 1) + " is damaged";
      return std::nullopt;
    }
    read.push_back(std::move(*s));
  }
  return read;
}

SpectrumFile::~SpectrumFile() {
  if (fd >= 0) close(fd);
}

bool spectrum_start(SpectrumFile& file, const std::string& path, int exponents, const std::vector<SpectrumLine>& kept,
                    std::string& error) {
  std::string text = spectrum_header(exponents) + '\n';
  for (const SpectrumLine& s : kept) text += spectrum_line(s) + '\n';
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
  file.exponents = exponents;
  file.lines = static_cast<std::int32_t>(kept.size());
  file.crc = crc_of(text);
  return true;
}

bool spectrum_append(SpectrumFile& file, const SpectrumLine& s, std::string& error) {
  if (file.fd < 0) return false;
  if (static_cast<int>(s.exponents.size()) != file.exponents || s.errors.size() != s.exponents.size()) {
    error = "cannot write " + file.path + ": a line of " + std::to_string(s.exponents.size()) +
            " exponents in a file of " + std::to_string(file.exponents);
    return false;
  }
  const std::string line = spectrum_line(s) + '\n';
  if (!append_whole(file.fd, file.path, line, file.crc, error)) return false;
  ++file.lines;
  return true;
}

std::optional<std::vector<SpectrumLine>> spectrum_vouched(std::string_view text, const std::string& path,
                                                          std::int32_t lines, std::uint32_t crc, std::string& error) {
  const std::size_t header_end = text.find('\n');
  const std::optional<int> exponents =
      header_end == std::string_view::npos ? std::nullopt : spectrum_header_exponents(text.substr(0, header_end));
  if (!exponents) {
    error = path + ": line 1 is not the header of a flockchase spectrum file";
    return std::nullopt;
  }
  std::vector<SpectrumLine> read;
  std::size_t from = header_end + 1;
  while (from < text.size()) {
    const std::size_t newline = text.find('\n', from);
    if (newline == std::string_view::npos) break;  // a line cut short, after the checkpoint's
    std::optional<SpectrumLine> s = parse_spectrum_line(text.substr(from, newline - from), *exponents);
    const bool vouched = static_cast<std::int32_t>(read.size()) < lines;
    if (!s) {
      error = path + (vouched ? ": line " + std::to_string(read.size() + 2) + " is damaged"
                              : ": a line after the checkpoint's is damaged");
      return std::nullopt;
    }
    if (vouched) {
      read.push_back(std::move(*s));
      if (static_cast<std::int32_t>(read.size()) == lines && crc_of(text.substr(0, newline + 1)) != crc) {
        error = path + " is not the one the checkpoint was written with (its checksum does not match)";
        return std::nullopt;
      }
    }
    from = newline + 1;
  }
  if (static_cast<std::int32_t>(read.size()) != lines) {
    error = path + " holds fewer columns than the checkpoint says";
    return std::nullopt;
  }
  if (lines == 0 && crc_of(text.substr(0, header_end + 1)) != crc) {
    error = path + " is not the one the checkpoint was written with (its checksum does not match)";
    return std::nullopt;
  }
  return read;
}
