// End-to-end runs with the measurement options: a pass budget gives the
// same run on any number of threads, a column that the plain pass loses is
// measured in full, and an error target ends columns on their standard
// error.
#include <gtest/gtest.h>

#include <cmath>

#include "app/files/results_file.hpp"
#include "app/measure/parameters.hpp"
#include "app/run_support.hpp"

namespace {

std::vector<ColumnResult> results_in(const Sandbox& box, ResultsLayout expected) {
  std::string error;
  ResultsLayout layout = ResultsLayout::Plain;
  std::optional<std::vector<ColumnResult>> results =
      read_results_file((box.dir / "flockchase.csv").string(), error, &layout);
  EXPECT_TRUE(results) << error;
  EXPECT_EQ(layout, expected);
  return results ? *results : std::vector<ColumnResult>{};
}

TEST(MeasureRun, PassBudgetGivesTheSameRunOnOneAndTwoThreads) {
  // Damping 0.05 from the initial state: the plain pass loses this column
  // after 5250 measured passes; by the reference's map it measures every
  // pass of the chaotic phase.
  const std::vector<std::string> options = {"--headless", "--damping", "0.049:0.051", "--robust",
                                            "--tangent",  "--passes",  "8000"};
  Sandbox one, two;
  std::vector<std::string> a = options, b = options;
  a.insert(a.end(), {"--threads", "1"});
  b.insert(b.end(), {"--threads", "2"});
  RunOutput ra = one.run(a), rb = two.run(b);
  ASSERT_EQ(ra.exit_code, 0) << ra.err;
  ASSERT_EQ(rb.exit_code, 0) << rb.err;
  EXPECT_EQ(ra.out, rb.out);
  EXPECT_EQ(results_without_seconds(one.file("flockchase.csv")), results_without_seconds(two.file("flockchase.csv")));
  EXPECT_EQ(one.file("flockchase.bmp"), two.file("flockchase.bmp"));

  const std::vector<ColumnResult> results = results_in(one, ResultsLayout::Extended);
  ASSERT_EQ(results.size(), 1u);
  const ColumnResult& r = results[0];
  EXPECT_EQ(r.column, 90);
  EXPECT_EQ(r.end, ColumnEnd::PassLimit);
  EXPECT_EQ(r.passes, 8000);
  // The chaser catches a body here (one capture, whose collapse and the new
  // episode's transient are not measured); the chaotic phase before it is
  // measured in full, beyond where the plain pass is lost.
  EXPECT_EQ(r.regime, ColumnRegime::Transient);
  EXPECT_EQ(r.captures, 1);
  EXPECT_GT(r.measured_passes, 5250);
  EXPECT_LT(r.measured_passes, 8000 - 999 - 999);
  EXPECT_EQ(r.chaotic_time, r.measured_passes * TimeStep);
  ASSERT_TRUE(r.large_passes);
  EXPECT_LT(*r.large_passes, 100);
  EXPECT_FALSE(r.extrapolated);  // no error target
  ASSERT_TRUE(r.tangent_exponent && r.tangent_standard_error && r.standard_error);
  EXPECT_NEAR(static_cast<double>(*r.tangent_exponent), static_cast<double>(r.exponent),
              static_cast<double>(*r.standard_error) / 10);
}

TEST(MeasureRun, ErrorTargetEndsColumnsOnTheirStandardError) {
  Sandbox box;
  RunOutput run = box.run({"--headless", "--damping", "0.855:0.87", "--step", "3", "--target-error", "0.05"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<ColumnResult> results = results_in(box, ResultsLayout::Extended);
  const std::vector<std::string> report = lines_of(run.out);
  ASSERT_EQ(results.size(), 4u);  // columns 744, 741, 738 and 735
  ASSERT_EQ(report.size(), 5u);   // and "Done!"
  for (std::size_t i = 0; i < results.size(); ++i) {
    const ColumnResult& r = results[i];
    EXPECT_EQ(r.end, ColumnEnd::Converged);
    EXPECT_GE(r.blocks, 20);
    ASSERT_TRUE(r.standard_error && r.extrapolated);
    EXPECT_LT(*r.standard_error, 0.05L);
    // Tests come every 1000 measured passes from the 1999th: the column
    // ended at the first one with 20 blocks and the error below the target.
    EXPECT_EQ(r.measured_passes % 1000, 999);
    EXPECT_NE(r.exponent, *r.extrapolated);  // the running mean, not the extrapolation
    EXPECT_FALSE(r.large_passes || r.tangent_exponent);
    char figure[32];
    std::snprintf(figure, sizeof figure, "\xC2\xB1%.4f", static_cast<double>(*r.standard_error));
    EXPECT_NE(report[i].find(figure), std::string::npos) << report[i] << " " << figure;
  }
}

}  // namespace
