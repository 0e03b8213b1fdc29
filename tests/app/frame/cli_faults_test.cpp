// What the command line and the end of a run tell a careless or hostile
// user: the edges of --damping, an option given twice, values and file
// names with any bytes, end steps that fail. Beside faults_test.cpp.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "app/frame/faults_support.hpp"
#include "app/frame/options.hpp"
#include "app/run_support.hpp"

namespace {

TEST(Faults, DampingBoundsAreComparedExactly) {
  struct Case {
    std::string range;
    int step;
    std::vector<int> columns;  // empty: refused or none selected
  };
  const Case cases[] = {
      {"0.9:0.9", 1, {770}},
      {"0.99875:1", 1, {849}},
      {"0:0.00125", 1, {51}},
      {"0.83:0.845", 1, {726, 725, 724, 723, 722, 721, 720, 719, 718, 717, 716, 715, 714}},
      {"0.83:0.87", 3, {744, 741, 738, 735, 732, 729, 726, 723, 720, 717, 714}},  // the converging run
      {".5:0.500000000000000000", 1, {450}},
      {"0.50125:0.5025", 1, {452, 451}},
      {"0:0", 1, {}},
      {"1:1", 1, {}},
      {"0.9:0.9", 2, {}},  // 770 is off the grid of every second column
  };
  for (const Case& c : cases) {
    const OptionsResult parsed = ParseOptions({"--damping", c.range, "--step", std::to_string(c.step)});
    ASSERT_TRUE(parsed.options) << c.range << ": " << parsed.error;
    std::vector<int> columns;
    for (int x = 849; x >= 51; x -= c.step)
      if (parsed.options->damping.contains_column(x)) columns.push_back(x);
    EXPECT_EQ(columns, c.columns) << c.range;
    EXPECT_EQ(SelectsAnyColumn(*parsed.options), !c.columns.empty()) << c.range;
    EXPECT_NE(ResultOptionsText(*parsed.options).find("damping=" + c.range), std::string::npos);
  }
  for (const char* bad : {"0.9", "1e-1:1", "0.5:1.5", "-0:1", "0.1234567890123456789:1", "0.5:0.4", "+0.1:1"}) {
    const OptionsResult parsed = ParseOptions({"--damping", bad});
    EXPECT_FALSE(parsed.options) << bad;
  }
  // End to end: an empty selection and a repeated option are refused before
  // anything is written; the one edge column is evaluated.
  Sandbox box;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--headless", "--damping", "0:0"},
        std::vector<std::string>{"--headless", "--step", "3", "--step", "4"},
        std::vector<std::string>{"--headless", "--damping", "0.9:0.9", "--step", "2"}}) {
    const RunOutput r = box.run(arguments);
    EXPECT_EQ(r.exit_code, 2) << arguments[1];
    EXPECT_EQ(count_lines_with(r.err, "flockchase: "), 1u) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(contents_of(box.dir).size(), 2u) << "only out.txt and err.txt";
  }
  const RunOutput edge = box.run({"--headless", "--damping", "0.9:0.9", "--time-limit", "3"});
  ASSERT_EQ(edge.exit_code, 0) << edge.err;
  ASSERT_EQ(lines_of(edge.out).size(), 2u) << edge.out;
  EXPECT_EQ(lines_of(edge.out)[0].substr(0, 8), "  0.9000");
  EXPECT_EQ(lines_of(box.file("flockchase.csv"))[1].substr(0, 4), "770,");
}

TEST(Faults, AnErrorIsOneLineWhateverBytesAValueHolds) {
  struct Case {
    std::vector<std::string> arguments;
    const char* line;  // the whole first line of standard error
    int exit_code;
    bool usage;  // the usage follows it
  };
  const Case cases[] = {
      {{"--step", "2\n"}, "flockchase: --step takes a whole number from 1 to 799, not '2\\n'", 2, true},
      {{"--passes", "400\n"}, "flockchase: --passes takes a whole number from 1 to 2000000000, not '400\\n'", 2,
       true},
      {{"--threads", "2\n"}, "flockchase: --threads takes 1 or 2, not '2\\n'", 2, true},
      {{"--time-limit", "\r3"}, "flockchase: --time-limit takes a positive number of seconds, not '\\r3'", 2, true},
      {{"--target-error", "0.1\n"}, "flockchase: --target-error takes a positive number, not '0.1\\n'", 2, true},
      {{"--flow", "--tolerance", "1e-8\n"}, "flockchase: --tolerance takes a number between 1e-16 and 1, not '1e-8\\n'",
       2, true},
      {{"--segment", "1/2\x1b[2J"}, "flockchase: --segment takes I/K with 1 <= I <= K <= 799, not '1/2\\x1b[2J'", 2,
       true},
      {{"--head\nless"}, "flockchase: unknown option '--head\\nless'", 2, true},
      // A file name: a history that is a folder, one in a folder that is not there.
      {{"--headless", "--history", "h\nfolder"}, "flockchase: --history h\\nfolder is a folder", 2, false},
      {{"--headless", "--damping", "0.99875:1", "--history", "no\nsuch/h.csv"},
       "flockchase: cannot write the history file no\\nsuch/h.csv: No such file or directory", 1, false},
  };
  for (const Case& c : cases) {
    Sandbox box;
    fs::create_directory(box.dir / "h\nfolder");
    const RunOutput r = box.run(c.arguments);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.line << "\n" << r.err;
    EXPECT_EQ(r.err, std::string(c.line) + "\n" + (c.usage ? UsageText() + "\n" : "")) << c.line;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
}

TEST(Faults, FailedEndStepsSayWhatHappened) {
  struct Case {
    const char* name;
    std::function<void(Sandbox&)> prepare;
    int exit_code;
    const char* said;
    bool converter_started;
    bool checkpoint_kept;
  };
  const Case cases[] = {
      {"bitmap is a folder", [](Sandbox& b) { fs::create_directory(b.dir / "flockchase.bmp"); }, 1,
       "the converter is not started: flockchase.bmp was not written", false, true},
      {"no converter", [](Sandbox& b) { fs::remove(b.dir / "bin" / "picvec"); }, 0,
       "cannot start the converter picvec: not found on PATH", false, false},
      {"stale temporaries", [](Sandbox& b) {
         const pid_t gone = fork();
         if (gone == 0) _exit(0);
         waitpid(gone, nullptr, 0);
         write_text(b.dir / (".flockchase.bmp." + std::to_string(gone) + ".0.tmp"), "left by a killed run");
         write_text(b.dir / (".flockchase.bmp." + std::to_string(getpid()) + ".0.tmp"), "still being written");
       }, 0, "", true, false},
  };
  for (const Case& c : cases) {
    Sandbox box;
    c.prepare(box);
    const RunOutput r = box.run(QuickRun);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.name << ": " << r.err;
    if (*c.said) {
      EXPECT_EQ(count_lines_with(r.err, c.said), 1u) << c.name << ": " << r.err;
    } else {
      EXPECT_TRUE(r.err.empty()) << r.err;
    }
    EXPECT_EQ(box.exists("picvec.calls"), c.converter_started) << c.name;
    EXPECT_EQ(box.exists("flockchase.checkpoint"), c.checkpoint_kept) << c.name;
    // Only the temporary of a process that is gone is removed.
    std::size_t temporaries = 0;
    for (const auto& entry : fs::directory_iterator(box.dir)) {
      if (entry.path().filename().string().ends_with(".tmp")) {
        ++temporaries;
        EXPECT_EQ(read_file(entry.path()), "still being written");
      }
    }
    EXPECT_EQ(temporaries, std::string(c.name) == "stale temporaries" ? 1u : 0u) << c.name;
  }
}

}  // namespace
