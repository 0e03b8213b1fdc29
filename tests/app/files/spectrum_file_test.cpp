// The spectrum file: every line read back as it was written, to the bit;
// damaged lines and foreign headers refused; a line cut short by a full
// disk taken back.
#include "app/files/spectrum_file.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/files/checksum.hpp"
#include "app/model/model_test_support.hpp"
#include "app/run_support.hpp"

namespace fs = std::filesystem;

namespace {

using model_test::same;

SpectrumLine random_line(std::mt19937_64& rng, int exponents, int variant) {
  std::normal_distribution<double> normal(0, 1);
  SpectrumLine s;
  s.column = 51 + variant % 799;
  s.damping = static_cast<Real>(s.column - 50) / 800;
  for (int k = 0; k < exponents; ++k) {
    // Extended values that a double would not hold, and once a NaN.
    s.exponents.push_back(static_cast<Real>(normal(rng)) / 3 + (variant % 3 == 0 && k == 0 ? NAN : 0.0L));
    s.errors.push_back((variant + k) % 4 ? std::optional<Real>(std::fabs(normal(rng)) * 1e-3L / 7) : std::nullopt);
  }
  s.sum = -19.783333333333L + static_cast<Real>(normal(rng)) * 1e-9L;
  s.trace = -(14 * s.damping / 0.3L + 1);
  if (variant % 5) s.zero_exponents = variant % 7;
  if (variant % 6) s.positive_exponents = variant % 9;
  if (variant % 2) s.kaplan_yorke = 14.5L + static_cast<Real>(normal(rng)) / 11;
  if (variant % 4) s.kaplan_yorke_error = 0.05L / 3;
  const char* certificates[] = {"ok", "sum", "zeros", "sum+zeros", "unchecked"};
  s.certificate = certificates[variant % 5];
  return s;
}

bool same_optional(const std::optional<Real>& a, const std::optional<Real>& b) {
  return a.has_value() == b.has_value() && (!a || same(*a, *b));
}

void expect_same_line(const SpectrumLine& got, const SpectrumLine& want) {
  EXPECT_EQ(got.column, want.column);
  EXPECT_TRUE(same(got.damping, want.damping));
  ASSERT_EQ(got.exponents.size(), want.exponents.size());
  for (std::size_t k = 0; k < want.exponents.size(); ++k) {
    EXPECT_TRUE(same(got.exponents[k], want.exponents[k])) << k;
    EXPECT_TRUE(same_optional(got.errors[k], want.errors[k])) << k;
  }
  EXPECT_TRUE(same(got.sum, want.sum));
  EXPECT_TRUE(same(got.trace, want.trace));
  EXPECT_EQ(got.zero_exponents, want.zero_exponents);
  EXPECT_EQ(got.positive_exponents, want.positive_exponents);
  EXPECT_TRUE(same_optional(got.kaplan_yorke, want.kaplan_yorke));
  EXPECT_TRUE(same_optional(got.kaplan_yorke_error, want.kaplan_yorke_error));
  EXPECT_EQ(got.certificate, want.certificate);
}

TEST(SpectrumLine, ReadsBackExactly) {
  std::mt19937_64 rng(36);
  for (const int exponents : {1, 6, 32}) {
    for (int variant = 0; variant < 300; ++variant) {
      const SpectrumLine line = random_line(rng, exponents, variant);
      const std::optional<SpectrumLine> back = parse_spectrum_line(spectrum_line(line), exponents);
      ASSERT_TRUE(back) << spectrum_line(line);
      expect_same_line(*back, line);
    }
  }
}

TEST(SpectrumLine, DamagedLinesAreRefused) {
  std::mt19937_64 rng(7);
  const std::string good = spectrum_line(random_line(rng, 6, 1));
  ASSERT_TRUE(parse_spectrum_line(good, 6));
  const auto replaced = [&good](std::size_t field, const std::string& text) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t at; (at = good.find(',', from)) != std::string::npos; from = at + 1)
      fields.push_back(good.substr(from, at - from));
    fields.push_back(good.substr(from));
    fields.at(field) = text;
    std::string line = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i) line += ',' + fields[i];
    return line;
  };
  const struct {
    const char* what;
    std::string line;
    int exponents;
  } cases[] = {
      {"another count of exponents", good, 5},
      {"K not the header's", replaced(2, "5"), 6},
      {"a field short", good.substr(0, good.rfind(',')), 6},
      {"a field more", good + ",ok", 6},
      {"an exponent not a number", replaced(3, "fast"), 6},
      {"an exponent left empty", replaced(4, ""), 6},
      {"a standard error with a tail", replaced(10, "0.01x"), 6},
      {"a column not an integer", replaced(0, "12.5"), 6},
      {"a zero count beyond 32", replaced(17, "33"), 6},
      {"a negative positive count", replaced(18, "-1"), 6},
      {"an unknown certificate", replaced(21, "fine"), 6},
      {"an empty certificate", replaced(21, ""), 6},
  };
  for (const auto& c : cases) EXPECT_FALSE(parse_spectrum_line(c.line, c.exponents)) << c.what << ": " << c.line;
}

TEST(SpectrumHeader, NamesItsExponents) {
  EXPECT_EQ(spectrum_header(2),
            "column,damping,K,exponent_1,exponent_2,standard_error_1,standard_error_2,sum,trace,zero_exponents,"
            "positive_exponents,kaplan_yorke,kaplan_yorke_error,certificate");
  for (int k = 1; k <= 32; ++k) EXPECT_EQ(spectrum_header_exponents(spectrum_header(k)), k);
  EXPECT_FALSE(spectrum_header_exponents(spectrum_header(33)));
  EXPECT_FALSE(spectrum_header_exponents("column,damping,exponent,spread"));
}

TEST(SpectrumFile, WrittenLinesReadBackAndADamagedFileIsRefused) {
  Sandbox box;
  const std::string path = (box.dir / "flockchase.spectrum.csv").string();
  std::mt19937_64 rng(3);
  std::vector<SpectrumLine> lines;
  for (int i = 0; i < 20; ++i) lines.push_back(random_line(rng, 32, i));
  std::string error;
  {
    SpectrumFile file;
    const std::vector<SpectrumLine> kept(lines.begin(), lines.begin() + 5);
    ASSERT_TRUE(spectrum_start(file, path, 32, kept, error)) << error;
    for (std::size_t i = 5; i < lines.size(); ++i) ASSERT_TRUE(spectrum_append(file, lines[i], error)) << error;
    // A line of another count is not written.
    EXPECT_FALSE(spectrum_append(file, random_line(rng, 6, 1), error));
    EXPECT_NE(error.find("6 exponents"), std::string::npos) << error;
  }
  int exponents = 0;
  const std::optional<std::vector<SpectrumLine>> back = read_spectrum_file(path, error, &exponents);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(exponents, 32);
  ASSERT_EQ(back->size(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) expect_same_line((*back)[i], lines[i]);

  const std::string text = read_file(path);
  std::ofstream(path, std::ios::trunc) << text.substr(0, text.size() - 40);
  EXPECT_FALSE(read_spectrum_file(path, error));
  EXPECT_NE(error.find("line 21 is damaged"), std::string::npos) << error;
  std::ofstream(path, std::ios::trunc) << "column,damping,exponent\n";
  EXPECT_FALSE(read_spectrum_file(path, error));
  EXPECT_NE(error.find("not the header"), std::string::npos) << error;
  EXPECT_FALSE(read_spectrum_file((box.dir / "missing.csv").string(), error));
}

// The file keeps its lines and checksum as it grows; a checkpoint's count
// and checksum vouch for the lines up to them, a line after them is dropped,
// anything else refused.
TEST(SpectrumFile, TheCheckpointVouchesForItsLines) {
  Sandbox box;
  const std::string path = (box.dir / "flockchase.spectrum.csv").string();
  std::mt19937_64 rng(8);
  std::vector<SpectrumLine> lines;
  for (int i = 0; i < 4; ++i) lines.push_back(random_line(rng, 3, i));
  std::string error;
  SpectrumFile file;
  ASSERT_TRUE(spectrum_start(file, path, 3, {lines[0]}, error)) << error;
  EXPECT_EQ(file.lines, 1);
  for (std::size_t i = 1; i < 3; ++i) ASSERT_TRUE(spectrum_append(file, lines[i], error)) << error;
  EXPECT_EQ(file.lines, 3);
  const std::string text = read_file(path);
  EXPECT_EQ(file.crc, crc_of(text));
  const std::string after = text + spectrum_line(lines[3]) + "\n";
  const std::uint32_t header_crc = crc_of(spectrum_header(3) + "\n");
  struct Case {
    std::string text;
    std::int32_t lines;
    std::uint32_t crc;
    std::size_t kept;  // or the error
    const char* error;
  };
  const Case cases[] = {
      {text, 3, file.crc, 3, ""},
      {after, 3, file.crc, 3, ""},
      {text + "51,0.0", 3, file.crc, 3, ""},
      {spectrum_header(3) + "\n", 0, header_crc, 0, ""},
      {text, 0, header_crc, 0, ""},
      {text, 4, file.crc, 0, "fewer columns than the checkpoint says"},
      {text, 3, file.crc ^ 1, 0, "its checksum does not match"},
      {text, 0, header_crc ^ 1, 0, "its checksum does not match"},
      {text + "x\n", 3, file.crc, 0, "a line after the checkpoint's is damaged"},
      {"column,damping\n", 0, 0, 0, "not the header"},
      {spectrum_header(3) + "\nx\n", 1, 0, 0, "line 2 is damaged"},
  };
  for (const Case& c : cases) {
    error.clear();
    const auto read = spectrum_vouched(c.text, path, c.lines, c.crc, error);
    if (*c.error) {
      EXPECT_FALSE(read) << c.error;
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->size(), c.kept);
    for (std::size_t i = 0; i < c.kept; ++i) expect_same_line((*read)[i], lines[i]);
  }
}

// A file size limit cuts the write of a line in two, as a full disk does:
// the part written is taken back and the file ends with its last whole line.
TEST(SpectrumFile, ALineCutShortIsTakenBack) {
  Sandbox box;
  const std::string path = (box.dir / "cut.spectrum.csv").string();
  std::mt19937_64 rng(11);
  std::string error;
  SpectrumFile file;
  ASSERT_TRUE(spectrum_start(file, path, 32, {random_line(rng, 32, 1)}, error)) << error;
  const std::string before = read_file(path);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit tight = saved;
  tight.rlim_cur = before.size() + 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const bool written = spectrum_append(file, random_line(rng, 32, 2), error);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(written);
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  EXPECT_EQ(read_file(path), before);
  // And the next line goes on after the last whole one.
  const SpectrumLine next = random_line(rng, 32, 3);
  ASSERT_TRUE(spectrum_append(file, next, error)) << error;
  const std::optional<std::vector<SpectrumLine>> back = read_spectrum_file(path, error);
  ASSERT_TRUE(back) << error;
  ASSERT_EQ(back->size(), 2u);
  expect_same_line(back->back(), next);
}

}  // namespace
