// The reader of results files also takes the extended header and its fields.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "app/files/checksum.hpp"
#include "app/files/results_file.hpp"
#include "app/files/resume.hpp"

namespace fs = std::filesystem;

namespace {

struct Sandbox {
  fs::path dir = fs::temp_directory_path() / ("flockchase-extended-" + std::to_string(getpid()));
  Sandbox() { fs::create_directories(dir); }
  ~Sandbox() { fs::remove_all(dir); }
  std::string write(const std::string& text) {
    const fs::path path = dir / "run.csv";
    std::ofstream(path, std::ios::trunc) << text;
    return path.string();
  }
};

const std::string Plain = ResultsHeader;
// The extended layout as it was before the capture and integrator fields,
// which older files still have.
const std::string Extended = std::string(ResultsHeader) + ",large_passes,extrapolated,tangent_exponent,tangent_standard_error";
const std::string Capture = ",regime,captures,chaotic_time,capture_rate,collapse_rate";
const std::string Integrator = ",integrator,tolerance,steps,rejected_steps";
const std::string Settle = ",settled_time,regular_exponent,regular_standard_error,laminar_phases";
const std::string Ensemble =
    ",members,ended_chaotic,ended_settled,ended_captured,ended_stalled,chaotic_share_low,chaotic_share_high,"
    "settled_share_low,settled_share_high,captured_share_low,captured_share_high,escapes,member_chaotic_time,"
    "escape_rate,escape_rate_low,escape_rate_high,attractors,attractor_shares,ensemble_exponent,"
    "ensemble_standard_error";
const std::string Spectrum = ",positive_exponents,zero_exponents,kaplan_yorke,sum_residual,spectrum_certificate";
// The layout of before the settling and ensemble fields.
const std::string WithCaptures = Extended + Capture + Integrator;
// The layout of before the spectrum's fields.
const std::string WithEnsemble = WithCaptures + Settle + Ensemble;
// The settling's and the ensemble's fields of a line, empty; the spectrum's.
const std::string NoSettlingOrEnsemble(24, ',');
const std::string NoSpectrum(5, ',');
// A line's integrator fields, empty.
const std::string NoIntegrator = ",,,,";
const std::string Line = "849,0.99875,0.125,0.0005,-47.6,pass_limit,5000,4001,0.500,0.03,4";

TEST(ResultsExtended, FieldsAfterBlocksFillTheOptionalFields) {
  Sandbox box;
  std::string error;
  auto read = read_results_file(box.write(Extended + "\n" + Line + ",17,0.5,0.25,\n" + Line + ",,,,0.125\n"), error);
  ASSERT_TRUE(read) << error;
  ASSERT_EQ(read->size(), 2u);
  const ColumnResult& a = (*read)[0];
  EXPECT_EQ(a.end, ColumnEnd::PassLimit);
  EXPECT_EQ(a.large_passes, 17);
  EXPECT_EQ(a.extrapolated, 0.5L);
  EXPECT_EQ(a.tangent_exponent, 0.25L);
  EXPECT_FALSE(a.tangent_standard_error);
  const ColumnResult& b = (*read)[1];
  EXPECT_FALSE(b.large_passes || b.extrapolated || b.tangent_exponent);
  EXPECT_EQ(b.tangent_standard_error, 0.125L);
  // The plain layout's writer still writes the eleven fields.
  const std::string written = results_line(a);
  EXPECT_EQ(std::count(written.begin(), written.end(), ','), 10) << written;
  ResultsLayout layout = ResultsLayout::Plain;
  ASSERT_TRUE(read_results_file(box.write(Extended + "\n" + Line + ",17,0.5,0.25,\n"), error, &layout));
  EXPECT_EQ(layout, ResultsLayout::Extended15);
}

TEST(ResultsExtended, CaptureFieldsAndTheCapturedColumnsEmptyFigures) {
  Sandbox box;
  std::string error;
  const std::string captured = "189,0.5,,,,pass_limit,5000,0,0.500,,0,0,,,,captured,3,0,0.0625,0.25" + NoIntegrator;
  ResultsLayout layout = ResultsLayout::Plain;
  auto read = read_results_file(
      box.write(WithCaptures + "\n" + Line + ",0,,,,transient,2,40.5,0.0625,0.3125" + NoIntegrator + "\n" + captured +
                "\n" + Line + ",,,,,,,,," + NoIntegrator + "\n"),
      error, &layout);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(layout, ResultsLayout::Extended24);
  ASSERT_EQ(read->size(), 3u);
  const ColumnResult& a = (*read)[0];
  EXPECT_EQ(a.regime, ColumnRegime::Transient);
  EXPECT_EQ(a.captures, 2);
  EXPECT_EQ(a.chaotic_time, 40.5L);
  EXPECT_EQ(a.capture_rate, 0.0625L);
  EXPECT_EQ(a.collapse_rate, 0.3125L);
  EXPECT_EQ(a.exponent, 0.125L);
  const ColumnResult& b = (*read)[1];
  EXPECT_EQ(b.regime, ColumnRegime::Captured);
  EXPECT_FALSE(HasExponent(b));
  EXPECT_EQ(results_line(b, ResultsLayout::Extended24), captured);
  EXPECT_EQ(results_line(b, ResultsLayout::Extended48), captured + NoSettlingOrEnsemble);
  EXPECT_EQ(results_line(b, ResultsLayout::Extended), captured + NoSettlingOrEnsemble + NoSpectrum);
  // A captured column's carried figures are never written.
  ColumnResult carried = b;
  carried.exponent = 1.5L;
  carried.standard_error = 0.5L;
  EXPECT_EQ(results_line(carried, ResultsLayout::Extended24), captured);
  EXPECT_FALSE((*read)[2].regime || (*read)[2].captures || (*read)[2].capture_rate);

  const std::string damaged[] = {
      Line + ",0,,,,captured,3,0,0.0125,0.34" + NoIntegrator,  // figures beside "captured"
      "189,0.17375,,,,pass_limit,5000,0,0.500,,0,0,,,,transient,3,0,0.0125,0.34" + NoIntegrator,  // none without it
      Line + ",0,,,,caught,3,0,0.0125,0.34" + NoIntegrator,
      Line + ",0,,,,chaotic,x,0,0," + NoIntegrator,
  };
  for (const std::string& line : damaged) {
    EXPECT_FALSE(read_results_file(box.write(WithCaptures + "\n" + line + "\n"), error)) << line;
  }
}


// Each layout told by its header, the integrator's fields last, after the
// segment of a merged file and the capture fields.
TEST(ResultsExtended, EveryLayoutIsToldByItsHeader) {
  Sandbox box;
  std::string error;
  struct Case {
    std::string header, fields;
    ResultsLayout layout;
    std::optional<std::int32_t> segment;
    std::string integrator;
  };
  const Case cases[] = {
      {Extended, ",,,,", ResultsLayout::Extended15, std::nullopt, ""},
      {Extended + ",segment", ",,,,,3", ResultsLayout::Merged16, 3, ""},
      {Extended + Capture + Integrator, ",,,,,,,,,,dopri5,0.5,30387,3544", ResultsLayout::Extended24, std::nullopt,
       "dopri5"},
      {Extended + ",segment" + Capture + Integrator, ",,,,,2,,,,,,step,0.25,,", ResultsLayout::Merged25, 2, "step"},
      {WithEnsemble + Spectrum, ",,,,,,,,,,dopri5,0.5,30387,3544" + NoSettlingOrEnsemble + ",2,1,1.5,-0.125,zeros",
       ResultsLayout::Extended, std::nullopt, "dopri5"},
      {Extended + ",segment" + Capture + Integrator + Settle + Ensemble + Spectrum,
       ",,,,,2,,,,,,step,0.25,," + NoSettlingOrEnsemble + NoSpectrum, ResultsLayout::Merged, 2, "step"},
      {WithEnsemble, ",,,,,,,,,,dopri5,0.5,30387,3544" + NoSettlingOrEnsemble, ResultsLayout::Extended48,
       std::nullopt, "dopri5"},
      {Extended + ",segment" + Capture + Integrator + Settle + Ensemble, ",,,,,2,,,,,,step,0.25,," + NoSettlingOrEnsemble,
       ResultsLayout::Merged49, 2, "step"},
  };
  EXPECT_EQ(ExtendedResultsHeader, cases[4].header);
  EXPECT_EQ(MergedResultsHeader, cases[5].header);
  for (const Case& c : cases) {
    EXPECT_EQ(c.header, ResultsHeaderOf(c.layout));
    ResultsLayout layout = ResultsLayout::Plain;
    auto read = read_results_file(box.write(c.header + "\n" + Line + c.fields + "\n"), error, &layout);
    ASSERT_TRUE(read) << c.header << ": " << error;
    EXPECT_EQ(layout, c.layout) << c.header;
    const ColumnResult& r = read->front();
    EXPECT_EQ(r.segment, c.segment) << c.header;
    EXPECT_EQ(r.integrator, c.integrator) << c.header;
    const std::string written = results_line(r, c.layout);
    EXPECT_EQ(written.substr(written.size() - c.fields.size()), c.fields) << c.header;
    EXPECT_EQ(std::count(written.begin(), written.end(), ','), std::count(c.header.begin(), c.header.end(), ','));
  }
  const auto flow_file = read_results_file(box.write(cases[4].header + "\n" + Line + cases[4].fields + "\n"), error);
  ASSERT_TRUE(flow_file) << error;
  const ColumnResult& flow = flow_file->front();
  EXPECT_EQ(flow.tolerance, 0.5L);
  EXPECT_EQ(flow.steps, 30387);
  EXPECT_EQ(flow.rejected_steps, 3544);
}

// A run stopped before the capture and integrator fields were written resumes: its
// file is read in its own layout (the run then goes on in the new one).
TEST(ResultsExtended, AFileOfTheEarlierLayoutIsResumed) {
  Checkpoint checkpoint;
  checkpoint.options = "step=1 robust";
  checkpoint.column = 849;
  checkpoint.results_lines = 1;
  std::string error;
  for (const std::string& csv :
       {Extended + "\n" + Line + ",17,0.5,0.25,\n",
        Extended + Capture + Integrator + "\n" + Line + ",17,0.5,0.25,,,,,,,step,0.25,,\n",
        WithEnsemble + "\n" + Line + ",17,0.5,0.25,,,,,,,step,0.25,," + NoSettlingOrEnsemble + "\n"}) {
    checkpoint.results_crc = crc_of(csv);
    const auto resumed =
        ResumptionFrom(checkpoint.options, checkpoint_text(checkpoint), csv, "flockchase", error, ResultsLayout::Extended);
    ASSERT_TRUE(resumed) << error;
    ASSERT_EQ(resumed->finished.size(), 1u);
    EXPECT_EQ(resumed->finished[0].large_passes, 17);
  }
  // A plain file is no extended one.
  const std::string plain = std::string(ResultsHeader) + "\n" + Line + "\n";
  checkpoint.results_crc = crc_of(plain);
  EXPECT_FALSE(
      ResumptionFrom(checkpoint.options, checkpoint_text(checkpoint), plain, "flockchase", error, ResultsLayout::Extended));
  EXPECT_NE(error.find("other measurement options"), std::string::npos) << error;
}

TEST(ResultsExtended, CountsMustMatchTheHeader) {
  Sandbox box;
  std::string error;
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"", "empty file"},
      {"column,damping,exponent\n" + Line + "\n", "line 1 is not the header"},
      {Plain + ",large_passes\n" + Line + ",1\n", "line 1 is not the header"},
      {Extended + "x\n" + Line + ",,,,\n", "line 1 is not the header"},
      {Plain + "\n" + Line + ",,,,\n", "line 2 is damaged"},
      {Extended + "\n" + Line + "\n", "line 2 is damaged"},
      {Extended + "\n" + Line + ",x,,,\n", "line 2 is damaged"},
      {Extended + Integrator + "\n" + Line + ",,,,,dopri5,1e-8,1,\n", "line 1 is not the header"},
      {WithCaptures + "\n" + Line + ",,,,\n", "line 2 is damaged"},
      {WithCaptures + "\n" + Line + ",,,,,,,,,,dopri5,1e-8,x,\n", "line 2 is damaged"},
      {WithCaptures + "\n" + Line + ",,,,,,,,,,dopri5,,,,\n", "line 2 is damaged"},
      {WithEnsemble + "\n" + Line + ",,,,,,,,,,step,,," + NoSettlingOrEnsemble + NoSpectrum + "\n",
       "line 2 is damaged"},
      {ExtendedResultsHeader + ("\n" + Line) + ",,,,,,,,,,step,,," + NoSettlingOrEnsemble + "\n", "line 2 is damaged"},
      {ExtendedResultsHeader + ("\n" + Line) + ",,,,,,,,,,step,,," + NoSettlingOrEnsemble + ",1,0,2,0,good\n",
       "line 2 is damaged"},
      {ExtendedResultsHeader + ("\n" + Line) + ",,,,,,,,,,step,,," + NoSettlingOrEnsemble + ",one,0,2,0,ok\n",
       "line 2 is damaged"},
      {ExtendedResultsHeader + ("\n" + Line) + ",,,,,,,,,,step,,," + NoSettlingOrEnsemble + ",1,0,2.x,0,ok\n",
       "line 2 is damaged"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(read_results_file(box.write(c.text), error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " gave " << error;
  }
}

}  // namespace
