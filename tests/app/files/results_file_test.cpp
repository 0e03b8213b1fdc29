#include "app/files/results_file.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "app/model/model_test_support.hpp"
#include <random>

#include "app/files/checkpoint.hpp"
#include "app/run_support.hpp"

namespace fs = std::filesystem;

namespace {

using model_test::same;

TEST(ResultsLine, RealsReadBackExactly) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> d(-3, 3);
  for (int i = 0; i < 2000; ++i) {
    ColumnResult r;
    r.column = 849 - i % 799;
    r.damping = static_cast<Real>(r.column - 50) / 800;
    r.exponent = static_cast<Real>(d(rng)) / 7;
    r.spread = std::ldexp(static_cast<Real>(d(rng)), -i % 60);
    r.mean_divergence = -(14 * r.damping / 0.3L + 1);
    r.end = static_cast<ColumnEnd>(i % 4);
    r.passes = i * 1000 + 17;
    r.measured_passes = i * 900;
    r.seconds = i * 0.125;
    if (i % 3) r.standard_error = r.spread / 3;
    r.blocks = i % 50;
    std::optional<ColumnResult> back = parse_results_line(results_line(r));
    ASSERT_TRUE(back) << results_line(r);
    EXPECT_EQ(back->column, r.column);
    EXPECT_TRUE(same(back->damping, r.damping));
    EXPECT_TRUE(same(back->exponent, r.exponent));
    EXPECT_TRUE(same(back->spread, r.spread));
    EXPECT_TRUE(same(back->mean_divergence, r.mean_divergence));
    EXPECT_EQ(back->end, r.end);
    EXPECT_EQ(back->passes, r.passes);
    EXPECT_EQ(back->measured_passes, r.measured_passes);
    EXPECT_EQ(back->blocks, r.blocks);
    EXPECT_EQ(back->standard_error.has_value(), r.standard_error.has_value());
    if (r.standard_error) {
      EXPECT_TRUE(same(*back->standard_error, *r.standard_error));
    }
  }
}

TEST(ResultsLine, ExtendedFieldsReadBackAndOnlyInTheirLayout) {
  ColumnResult r;
  r.end = ColumnEnd::PassLimit;
  const std::optional<Real> none;
  const Real value = 1.0L / 3;
  for (int mask = 0; mask < 16; ++mask) {
    r.large_passes = mask & 1 ? std::optional<std::int32_t>(12) : std::nullopt;
    r.extrapolated = mask & 2 ? std::optional<Real>(-value) : none;
    r.tangent_exponent = mask & 4 ? std::optional<Real>(value) : none;
    r.tangent_standard_error = mask & 8 ? std::optional<Real>(value / 7) : none;
    const std::string line = results_line(r, ResultsLayout::Extended);
    EXPECT_FALSE(parse_results_line(line)) << line;
    std::optional<ColumnResult> back = parse_results_line(line, ResultsLayout::Extended);
    ASSERT_TRUE(back) << line;
    EXPECT_EQ(back->end, ColumnEnd::PassLimit);
    EXPECT_EQ(back->large_passes, r.large_passes);
    EXPECT_EQ(back->extrapolated, r.extrapolated);
    EXPECT_EQ(back->tangent_exponent, r.tangent_exponent);
    EXPECT_EQ(back->tangent_standard_error, r.tangent_standard_error);
  }
  EXPECT_EQ(results_line(r), results_line(r, ResultsLayout::Plain));
  EXPECT_FALSE(parse_results_line(results_line(r), ResultsLayout::Extended));
  EXPECT_FALSE(parse_results_line(results_line(r, ResultsLayout::Extended) + "x", ResultsLayout::Extended));
}

// The spectrum's five fields close the extended and merged lines, exactly
// as written; a line without a spectrum leaves them empty.
TEST(ResultsLine, SpectrumFieldsCloseTheLineAndReadBack) {
  ColumnResult r;
  r.positive_exponents = 2;
  r.zero_exponents = 1;
  r.kaplan_yorke = 2.75L;
  r.sum_residual = -1.0L / 3;
  r.spectrum_certificate = "sum+zeros";
  const std::string tail = ",2,1,2.75,-0.333333333333333333342,sum+zeros";
  for (ResultsLayout layout : {ResultsLayout::Extended, ResultsLayout::Merged}) {
    const std::string line = results_line(r, layout);
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
    std::optional<ColumnResult> back = parse_results_line(line, layout);
    ASSERT_TRUE(back) << line;
    EXPECT_EQ(back->positive_exponents, r.positive_exponents);
    EXPECT_EQ(back->zero_exponents, r.zero_exponents);
    EXPECT_EQ(back->kaplan_yorke, r.kaplan_yorke);
    EXPECT_EQ(back->sum_residual, r.sum_residual);
    EXPECT_EQ(back->spectrum_certificate, r.spectrum_certificate);
    EXPECT_EQ(results_line(*back, layout), line);
    // The layouts of before the spectrum neither write nor read its fields.
    const ResultsLayout earlier = layout == ResultsLayout::Extended ? ResultsLayout::Extended48 : ResultsLayout::Merged49;
    const std::string old = results_line(r, earlier);
    EXPECT_EQ(old + tail, line);
    EXPECT_FALSE(parse_results_line(line, earlier)) << line;
    ASSERT_TRUE(parse_results_line(old, earlier)) << old;
    EXPECT_FALSE(parse_results_line(old, earlier)->positive_exponents);
    EXPECT_EQ(results_line(ColumnResult{}, layout), results_line(ColumnResult{}, earlier) + ",,,,,");
  }
}

TEST(ResultsLine, DamagedLinesAreRejected) {
  ColumnResult r;
  const std::string good = results_line(r);
  ASSERT_TRUE(parse_results_line(good));
  const std::string bad[] = {"", "1,2,3", good + ",", good.substr(0, good.size() - 1) + "x",
                             "849,0.9,0.1,0.01,-1,exploded,1,1,1.0,,0", "x849,0.9,0.1,0.01,-1,converged,1,1,1.0,,0"};
  for (const std::string& line : bad) EXPECT_FALSE(parse_results_line(line)) << line;
}

TEST(ResultsFile, StartKeepsGivenLinesAndAppendsFlushed) {
  const fs::path dir = fs::temp_directory_path() / ("flockchase-results-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "run.csv").string();
  ColumnResult a;
  a.column = 849;
  a.exponent = 0.25L;
  ColumnResult b = a;
  b.column = 848;
  std::string error;
  {
    ResultsFile file;
    ASSERT_TRUE(results_start(file, path, {a}, error)) << error;
    std::string why;
    ASSERT_TRUE(results_append(file, b, why)) << why;
    // Flushed: a reader sees both lines while the file is still open.
    std::optional<std::vector<ColumnResult>> lines = read_results_file(path, error);
    ASSERT_TRUE(lines) << error;
    ASSERT_EQ(lines->size(), 2u);
    EXPECT_EQ((*lines)[1].column, 848);
  }
  EXPECT_FALSE(fs::exists(path + ".tmp"));
  {
    std::ofstream(path, std::ios::app) << "849,garbage\n";
  }
  EXPECT_FALSE(read_results_file(path, error));
  EXPECT_NE(error.find("line 4 is damaged"), std::string::npos) << error;
  ResultsFile unwritable;
  EXPECT_FALSE(results_start(unwritable, (dir / "no/such/dir.csv").string(), {}, error));
  EXPECT_NE(error.find("cannot write"), std::string::npos);
  fs::remove_all(dir);
}

TEST(Checkpoint, RoundTripIsExact) {
  Checkpoint c;
  c.options = "step=3 time_limit=5 damping=0.9:1";
  c.column = 846;
  c.row = -12;
  c.results_lines = 2;
  c.first_point = false;
  c.random_state = 0xF7F77BFCu;
  c.random_last = 0x7BFBBDFEu;
  c.exponent = 1.0L / 3;
  c.mean_divergence = -NAN;
  c.spread = INFINITY;
  for (int i = 1; i <= 32; ++i) c.ref_state[i] = std::ldexp(1.0L / i, i * 37 - 600) * (i % 2 ? 1 : -1);
  c.ref_state[7] = -0.0L;
  std::string error;
  std::optional<Checkpoint> back = parse_checkpoint(checkpoint_text(c), error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->options, c.options);
  EXPECT_EQ(back->column, c.column);
  EXPECT_EQ(back->row, c.row);
  EXPECT_EQ(back->results_lines, c.results_lines);
  EXPECT_EQ(back->first_point, c.first_point);
  EXPECT_EQ(back->random_state, c.random_state);
  EXPECT_EQ(back->random_last, c.random_last);
  EXPECT_TRUE(same(back->exponent, c.exponent));
  EXPECT_TRUE(std::isnan(back->mean_divergence));
  EXPECT_TRUE(same(back->spread, c.spread));
  for (int i = 1; i <= 32; ++i) EXPECT_TRUE(same(back->ref_state[i], c.ref_state[i])) << i;
}

TEST(Checkpoint, DamagedTextIsRejectedWithAReason) {
  Checkpoint c;
  c.column = 849;
  c.results_lines = 1;
  const std::string good = checkpoint_text(c);
  std::string error;
  ASSERT_TRUE(parse_checkpoint(good, error)) << error;
  struct Case {
    std::string text;
    const char* reason;
  };
  // Resealed with a fresh checksum, so that the field checks are reached.
  std::string no_end = good;
  no_end.replace(no_end.find("end\n"), 4, "");
  std::string bad_column = good;
  bad_column.replace(bad_column.find("column 849"), 10, "column 12");
  std::string spoiled_crc = good;
  spoiled_crc[spoiled_crc.size() - 2] = spoiled_crc[spoiled_crc.size() - 2] == '0' ? '1' : '0';
  const Case cases[] = {
      {"", "not a flockchase checkpoint"},
      {"hello\n", "not a flockchase checkpoint"},
      {reseal_checkpoint(no_end), "(end)"},
      {good.substr(0, good.size() / 2), "damaged checkpoint"},
      {reseal_checkpoint(bad_column), "(column)"},
      {bad_column, "checksum does not match"},
      {spoiled_crc, "checksum does not match"},
      {"flockchase checkpoint 1\noptions step=1\n", "older flockchase"},
  };
  for (const Case& k : cases) {
    EXPECT_FALSE(parse_checkpoint(k.text, error));
    EXPECT_NE(error.find(k.reason), std::string::npos) << error;
  }
}

}  // namespace

namespace {

// The spectrum file's count and checksum follow the members'; a checkpoint
// without them still reads, a damaged one is refused.
TEST(Checkpoint, SpectrumFieldsRoundTripAndAreOptional) {
  Checkpoint c;
  c.column = 849;
  c.results_lines = 1;
  std::string error;
  const std::string without = checkpoint_text(c);
  ASSERT_TRUE(parse_checkpoint(without, error)) << error;
  EXPECT_FALSE(parse_checkpoint(without, error)->spectrum_lines);
  c.members_lines = 4;
  c.spectrum_lines = 3;
  c.spectrum_crc = 0x89abcdefu;
  const std::string text = checkpoint_text(c);
  EXPECT_NE(text.find("members_crc 00000000\nspectrum_lines 3\nspectrum_crc 89abcdef\n"), std::string::npos) << text;
  const std::optional<Checkpoint> back = parse_checkpoint(text, error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->spectrum_lines, 3);
  EXPECT_EQ(back->spectrum_crc, 0x89abcdefu);
  c.spectrum_lines = -1;
  EXPECT_FALSE(parse_checkpoint(checkpoint_text(c), error));
  EXPECT_NE(error.find("(spectrum_lines)"), std::string::npos) << error;
}

}  // namespace
