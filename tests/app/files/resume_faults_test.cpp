// A stopped run's checkpoint and results file edited past their checksums,
// as a careless or hostile hand might: --resume refuses them with one line
// and changes nothing. A file of its own beside file_faults_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>

#include "app/files/checkpoint.hpp"
#include "app/files/checksum.hpp"
#include "app/files/file_faults_support.hpp"
#include "app/files/resume.hpp"
#include "app/frame/options.hpp"
#include "app/run_support.hpp"

namespace {

// A stopped ShortRun (its bitmap could not be saved, so its checkpoint
// stays), edited consistently: the checksums match again.
TEST(FileFaults, ResumesEditedPastTheChecksumsAreRefused) {
  Sandbox stopped;
  fs::create_directory(stopped.dir / "flockchase.bmp");
  ASSERT_EQ(run_at(stopped, stopped.dir, ShortRun).exit_code, 1);
  fs::remove(stopped.dir / "flockchase.bmp");
  const std::string checkpoint = stopped.file("flockchase.checkpoint"), csv = stopped.file("flockchase.csv");
  ASSERT_EQ(line_count(csv), 4u);
  std::string error;
  const std::optional<Checkpoint> parsed = parse_checkpoint(checkpoint, error);
  ASSERT_TRUE(parsed) << error;

  // The checkpoint with the results file's checksum and its own made right.
  auto seal = [](Checkpoint c, const std::string& results) {
    c.results_crc = crc_of(results);
    return checkpoint_text(c);
  };
  struct Case {
    const char* name;
    std::function<std::pair<std::string, std::string>()> edit;  // checkpoint, results
    const char* said;
  };
  // Field `index` of the last column's line set to `value`, sealed again.
  auto field = [&](std::size_t index, const std::string& value) {
    return [&, index, value] {
      std::string results = csv;
      std::size_t at = results.rfind("\n843,") + 1;
      for (std::size_t i = 0; i < index; ++i) at = results.find(',', at) + 1;
      results.replace(at, results.find_first_of(",\n", at) - at, value);
      return std::pair{seal(*parsed, results), results};
    };
  };
  const Case cases[] = {
      // Every count and rate of the newest layout held to its range.
      {"seconds -1", field(8, "-1.000"), "seconds (-1) out of range"},
      {"large_passes -1", field(11, "-1"), "large_passes (-1) out of range"},
      {"captures -1", field(16, "-1"), "captures (-1) out of range"},
      {"chaotic_time -0.5", field(17, "-0.5"), "chaotic_time (-0.5) out of range"},
      {"chaotic_time NaN", field(17, "nan"), "chaotic_time (nan) out of range"},
      {"capture_rate -0.25", field(18, "-0.25"), "capture_rate (-0.25) out of range"},
      {"capture_rate NaN", field(18, "nan"), "capture_rate (nan) out of range"},
      {"collapse_rate -1", field(19, "-1"), "collapse_rate (-1) out of range"},
      {"an integrator the program has not", field(20, "rk45"), "integrator (rk45) out of range"},
      {"tolerance 0", field(21, "0"), "tolerance (0) out of range"},
      {"steps -5", field(22, "-5"), "steps (-5) out of range"},
      {"rejected_steps -1", field(23, "-1"), "rejected_steps (-1) out of range"},
      {"the last column is 51, not one the options select",
       [&] {
         std::string results = csv;
         results.replace(results.rfind("\n843,") + 1, 3, "51");
         Checkpoint c = *parsed;
         c.column = 51;
         return std::pair{seal(c, results), results};
       },
       "column 51"},
      {"a NaN in the reference state",
       [&] {
         Checkpoint c = *parsed;
         c.ref_state[5] = NAN;
         return std::pair{seal(c, csv), csv};
       },
       "not finite"},
      {"more measured passes than passes",
       [&] {
         std::string results = csv;
         const std::size_t line = results.rfind("\n843,") + 1;
         const std::size_t passes = results.find(",2000,", line);
         results.replace(passes, 6, ",1000,");
         return std::pair{seal(*parsed, results), results};
       },
       "out of range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [edited_checkpoint, edited_csv] = c.edit();
    ASSERT_NE(edited_csv.find('\n'), std::string::npos);
    write_text(stopped.dir / "flockchase.checkpoint", edited_checkpoint);
    write_text(stopped.dir / "flockchase.csv", edited_csv);
    const auto before = snapshot(stopped.dir);
    const RunOutput r = run_at(stopped, stopped.dir, with(ShortRun, {"--resume"}));
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_EQ(line_count(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(snapshot(stopped.dir), before);
  }
  // What the checkpoint does not vouch for after its columns: one whole
  // line or the torn start of one is dropped; anything else is damage.
  const std::string options_text = ResultOptionsText(*ParseOptions(ShortRun).options);
  const std::string whole_line = lines_of(csv).back() + "\n";
  for (const auto& [tail, resumed] : std::vector<std::pair<std::string, bool>>{
           {"", true}, {whole_line, true}, {whole_line.substr(0, 20), true}, {"840,0.9\n", false},
           {whole_line + whole_line, false}}) {
    const std::optional<Resumption> r =
        ResumptionFrom(options_text, checkpoint, csv + tail, "flockchase", error, ResultsLayout::Extended);
    EXPECT_EQ(r.has_value(), resumed) << tail << error;
    if (r) {
      EXPECT_EQ(r->finished.size(), 3u);
    }
  }
}

}  // namespace
