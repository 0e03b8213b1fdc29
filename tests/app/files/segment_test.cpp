// Segments of a sweep: how the columns are split, three segments run at
// once by GNU parallel and merged, and the sets the merge refuses.
#include <gtest/gtest.h>

#include <cmath>

#include "app/files/results_file.hpp"
#include "app/files/segment.hpp"
#include "app/run_support.hpp"

namespace {

TEST(Segment, TextsAndSplits) {
  EXPECT_FALSE(parse_segment("0/3"));
  EXPECT_FALSE(parse_segment("4/3"));
  EXPECT_FALSE(parse_segment("1/800"));
  EXPECT_FALSE(parse_segment("1-3"));
  EXPECT_FALSE(parse_segment("/3"));
  EXPECT_FALSE(parse_segment("+1/3"));
  ASSERT_TRUE(parse_segment("2/799"));
  EXPECT_EQ(segment_tag(*parse_segment("2/799")), "2-799");
  // The segments of n columns are contiguous, cover them once in order, and
  // differ in length by one at most.
  for (int n : {1, 7, 11, 100, 799}) {
    std::vector<std::int32_t> columns;
    for (int i = 0; i < n; ++i) columns.push_back(849 - i);
    for (int k : {1, 2, 3, 7, 799}) {
      std::vector<std::int32_t> joined;
      std::size_t shortest = columns.size(), longest = 0;
      for (int i = 1; i <= k; ++i) {
        const std::vector<std::int32_t> part = segment_columns(columns, Segment{i, k});
        joined.insert(joined.end(), part.begin(), part.end());
        shortest = std::min(shortest, part.size());
        longest = std::max(longest, part.size());
      }
      if (k > n) {
        EXPECT_TRUE(joined.empty()) << n << " " << k;
        continue;
      }
      EXPECT_EQ(joined, columns) << n << " " << k;
      EXPECT_LE(longest - shortest, 1u) << n << " " << k;
    }
  }
}

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

// The results file's lines without the fields that differ between a merge
// and its plain segments: the seconds, the empty extended fields and the
// segment the merge adds.
std::vector<std::string> lines_without_seconds(const std::string& csv) {
  std::vector<std::string> out;
  for (const std::string& line : lines_of(results_without_seconds(csv))) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
    std::string kept;
    for (std::size_t i = 0; i < fields.size() && i < 10; ++i) kept += (i ? "," : "") + fields[i];
    out.push_back(kept);
  }
  return out;
}

const std::vector<std::string> Segments = {"1", "2", "3"};

// Segment I of 3 of the converging run, as a batch job would run it.
RunOutput run_segment(const Sandbox& box, const std::string& index, const std::vector<std::string>& more = {}) {
  return box.run(with(with(ConvergingRun, {"--segment", index + "/3"}), more));
}

TEST(SegmentRun, ParallelSegmentsMergeIntoTheSegmentsRunOneAfterAnother) {
  Sandbox apart, together;
  // One after another.
  std::vector<std::string> sequential_lines;
  for (const std::string& i : Segments) {
    RunOutput r = run_segment(apart, i);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<std::string> lines = lines_without_seconds(apart.file("flockchase.seg" + i + "-3.csv"));
    sequential_lines.insert(sequential_lines.end(), lines.begin() + 1, lines.end());
  }
  // A segment starts no converter of its own.
  EXPECT_FALSE(apart.exists("picvec.calls"));
  EXPECT_TRUE(apart.exists("flockchase.seg2-3.checkpoint"));  // kept for the merge

  // All three at once under GNU parallel, then the merge.
  std::string command = together.command(with(ConvergingRun, {"--segment", "{}/3"}));
  command.replace(command.find("exec '"), 5, "parallel -j3 --halt now,fail=1 ");
  command.replace(command.find(" </dev/null >out.txt 2>err.txt"), std::string::npos,
                  " '</dev/null' '>out{}.txt' '2>err{}.txt' ::: 1 2 3 </dev/null >out.txt 2>err.txt");
  ASSERT_EQ(std::system(command.c_str()), 0) << together.file("err.txt") << together.file("err1.txt");
  RunOutput merged = together.run(with(ConvergingRun, {"--merge"}));
  ASSERT_EQ(merged.exit_code, 0) << merged.err;

  std::string error;
  ResultsLayout layout = ResultsLayout::Plain;
  const auto results = read_results_file((together.dir / "flockchase.csv").string(), error, &layout);
  ASSERT_TRUE(results) << error;
  EXPECT_EQ(layout, ResultsLayout::Merged);
  std::vector<std::string> merged_lines = lines_without_seconds(together.file("flockchase.csv"));
  merged_lines.erase(merged_lines.begin());
  EXPECT_EQ(merged_lines, sequential_lines);
  ASSERT_EQ(results->size(), 11u);
  for (std::size_t i = 0; i < results->size(); ++i) {
    EXPECT_EQ((*results)[i].segment, i < 3 ? 1 : i < 7 ? 2 : 3) << i;  // 3, 4 and 4 of the 11 columns
  }
  // The merge ends as a run does: its report, its chart and the converter.
  EXPECT_EQ(lines_of(merged.out).size(), 12u);
  EXPECT_NE(together.file("picvec.calls").find("flockchase"), std::string::npos);
  const Bitmap bmp = load_bitmap(together.dir / "flockchase.bmp");
  ASSERT_EQ(bmp.width, 850);
  for (std::size_t i = 0; i + 1 < results->size(); ++i) {
    const int row = static_cast<int>(std::lround(300 * (1 - static_cast<double>((*results)[i].exponent) / 2)));
    bool found = false;
    for (int y = row - 1; y <= row + 1; ++y) found = found || bmp.pixel((*results)[i].column, y) == Black;
    EXPECT_TRUE(found) << "column " << (*results)[i].column;
  }
}

TEST(SegmentRun, IncompleteOrForeignSetsAreRefusedAndNothingIsWritten) {
  Sandbox source;
  for (const std::string& i : Segments) ASSERT_EQ(run_segment(source, i).exit_code, 0);
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> spoil;
    std::vector<std::string> merge_options;
    const char* message;
  };
  const fs::path seg2 = "flockchase.seg2-3";
  const Case cases[] = {
      {"missing", [&](const fs::path& d) { fs::remove(d / "flockchase.seg2-3.csv"); }, ConvergingRun,
       "segment 2 of 3 is missing"},
      {"doubled", [&](const fs::path& d) { fs::copy_file(d / "flockchase.seg2-3.csv", d / "flockchase.seg02-3.csv"); },
       ConvergingRun, "segment 2 of 3 is there twice"},
      {"other split", [&](const fs::path& d) { fs::copy_file(d / "flockchase.seg2-3.csv", d / "flockchase.seg1-2.csv"); },
       ConvergingRun, "different splits"},
      {"other options", [](const fs::path&) {}, with(ConvergingRun, {"--robust"}), "written with other options"},
      {"other step", [](const fs::path&) {}, {"--headless", "--damping", "0.83:0.87", "--step", "6"},
       "written with other options"},
      {"damaged", [&](const fs::path& d) {
         std::string text = read_file(d / "flockchase.seg2-3.csv");
         text[text.size() - 10] = text[text.size() - 10] == '1' ? '2' : '1';
         std::ofstream(d / "flockchase.seg2-3.csv", std::ios::trunc) << text;
       }, ConvergingRun, "checksum does not match"},
      {"no receipt", [&](const fs::path& d) { fs::remove(d / "flockchase.seg3-3.checkpoint"); }, ConvergingRun,
       "flockchase.seg3-3.checkpoint is missing"},
  };
  for (const Case& c : cases) {
    Sandbox box;
    for (const auto& entry : fs::directory_iterator(source.dir)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("flockchase.seg", 0) == 0) fs::copy_file(entry.path(), box.dir / name);
    }
    c.spoil(box.dir);
    RunOutput r = box.run(with(c.merge_options, {"--merge"}));
    EXPECT_EQ(r.exit_code, 2) << c.what;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    EXPECT_EQ(lines_of(r.err).size(), 1u) << c.what << ": " << r.err;
    EXPECT_FALSE(box.exists("flockchase.csv")) << c.what;
    EXPECT_FALSE(box.exists("flockchase.bmp")) << c.what;
    EXPECT_FALSE(box.exists("picvec.calls")) << c.what;
    EXPECT_FALSE(box.exists("flockchase.lock")) << c.what;
  }
}

}  // namespace

namespace {

// The job array script of docs/segments.md under a single-node cluster, where
// this machine can run one (root, Slurm and munge installed).
TEST(SegmentRun, SlurmJobArrayAndDependentMerge) {
  const std::string command = std::string("bash '") + FLOCKCHASE_SOURCE_DIR + "/tests/app/files/slurm_array.sh' '" +
                              FlockchaseBinary + "' '" + FLOCKCHASE_SOURCE_DIR + "' > /tmp/flockchase-slurm-test.log 2>&1";
  const int status = std::system(command.c_str());
  const std::string log = read_file("/tmp/flockchase-slurm-test.log");
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << log;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
}

}  // namespace
