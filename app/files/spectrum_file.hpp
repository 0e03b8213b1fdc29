// The spectrum file, NAME.spectrum.csv: a header naming the fields for the
// run's K exponents, then one line per finished column with its spectrum
// and its certificates, appended whole or not at all, as the results file
// is. Reals carry 21 significant digits, enough to give back the same
// extended value when read; a figure that was not measured (a standard
// error below two blocks, a dimension beyond the K exponents) is empty.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/measure/spectrum_line.hpp"
#include "runtime/real.hpp"

constexpr int SpectrumFileMostExponents = 32;

// The header of a file of `exponents` exponents, and the count a header
// names (none when it is no spectrum header).
std::string spectrum_header(int exponents);
std::optional<int> spectrum_header_exponents(std::string_view header);

std::string spectrum_line(const SpectrumLine& line);
// None when the line is damaged or holds another count of exponents.
std::optional<SpectrumLine> parse_spectrum_line(std::string_view text, int exponents);

// The most a spectrum file is read of.
constexpr std::size_t SpectrumFileLimit = 32u << 20;

// The lines of a spectrum file, its count of exponents in `exponents` when
// given; none, with a one-line reason, when it is missing, has no header or
// holds a line that does not parse.
std::optional<std::vector<SpectrumLine>> read_spectrum_file(const std::string& path, std::string& error,
                                                            int* exponents = nullptr);

struct SpectrumFile {
  int fd = -1;  // opened for appending
  std::string path;
  int exponents = 0;
  std::int32_t lines = 0;  // column lines, the header not counted
  std::uint32_t crc = 0;   // CRC-32 of everything written, header included
  SpectrumFile() = default;
  SpectrumFile(const SpectrumFile&) = delete;
  SpectrumFile& operator=(const SpectrumFile&) = delete;
  ~SpectrumFile();
};

// Starts a new spectrum file with the header and the given lines (written
// to a temporary file and renamed); false with a one-line reason.
bool spectrum_start(SpectrumFile& file, const std::string& path, int exponents, const std::vector<SpectrumLine>& kept,
                    std::string& error);
// Appends one column's line, whole or not at all; false with a reason.
bool spectrum_append(SpectrumFile& file, const SpectrumLine& line, std::string& error);

// The lines a checkpoint vouches for: the header and the first `lines`
// column lines, whose checksum must be `crc`; what follows may only be the
// line of a column its checkpoint did not see, and is dropped. None with a
// one-line reason otherwise.
std::optional<std::vector<SpectrumLine>> spectrum_vouched(std::string_view text, const std::string& path,
                                                          std::int32_t lines, std::uint32_t crc, std::string& error);
