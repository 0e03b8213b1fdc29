// End-to-end runs that exercise what a long sweep relies on: the same bits
// on one and two threads, the results file, stopping and resuming, the
// damping range and the convergence history.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/files/results_file.hpp"
#include "app/run_support.hpp"

namespace {

std::vector<ColumnResult> results_of(const Sandbox& box) {
  std::string error;
  std::optional<std::vector<ColumnResult>> results = read_results_file((box.dir / "flockchase.csv").string(), error);
  EXPECT_TRUE(results) << error;
  return results ? *results : std::vector<ColumnResult>{};
}

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

TEST(ResultsRun, OneAndTwoThreadsGiveTheSameRun) {
  Sandbox one, two;
  RunOutput a = one.run(with(ConvergingRun, {"--threads", "1"}));
  RunOutput b = two.run(with(ConvergingRun, {"--threads", "2"}));
  ASSERT_EQ(a.exit_code, 0) << a.err;
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(results_without_seconds(one.file("flockchase.csv")), results_without_seconds(two.file("flockchase.csv")));
  EXPECT_EQ(one.file("flockchase.bmp"), two.file("flockchase.bmp"));
  EXPECT_FALSE(one.exists("flockchase.checkpoint"));  // removed when the sweep completes

  // Every evaluated column has its line, in order, and converged; the
  // report's numbers are the file's numbers to the report's digits.
  const std::vector<ColumnResult> results = results_of(one);
  const std::vector<std::string> report = lines_of(a.out);
  ASSERT_EQ(results.size() + 1, report.size());
  std::int32_t column = 849;  // the first column on the step grid at or below damping 0.87
  while (static_cast<Real>(column - 50) / 800 > 0.87L) column -= 3;
  for (std::size_t i = 0; i < results.size(); ++i, column -= 3) {
    const ColumnResult& r = results[i];
    EXPECT_EQ(r.column, column);
    EXPECT_EQ(r.damping, static_cast<Real>(column - 50) / 800);
    EXPECT_EQ(r.end, ColumnEnd::Converged);
    EXPECT_LT(r.spread, widen(0.001f));
    EXPECT_GE(r.measured_passes, 1999);
    EXPECT_EQ(r.passes, r.measured_passes + 999);
    char exponent[32];
    std::snprintf(exponent, sizeof exponent, "%.4f", static_cast<double>(r.exponent));
    EXPECT_NE(report[i].find(exponent), std::string::npos) << report[i];
  }
  EXPECT_EQ(results.size(), 11u);
}

struct Killed {
  int status = 0;
  bool terminal_restored = false;
};

// Runs flockchase on a pseudo-terminal and sends SIGTERM once the results
// file holds `lines` columns, while the next column runs.
Killed run_and_kill(const Sandbox& box, const std::vector<std::string>& arguments, std::size_t lines) {
  int master = -1, slave = -1;
  Killed k;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return k;
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    dup2(slave, 0);
    const std::string command = box.command(arguments);
    // The command redirects standard input from /dev/null; keep the terminal.
    const std::string on_terminal = command.substr(0, command.find(" </dev/null")) + " >out.txt 2>err.txt";
    execl("/bin/sh", "sh", "-c", on_terminal.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Up to two minutes: a loaded machine (tests run side by side) is slow.
  for (int i = 0; i < 4800; ++i) {
    if (lines_of(box.file("flockchase.csv")).size() >= lines + 1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  kill(pid, SIGTERM);
  waitpid(pid, &k.status, 0);
  termios t{};
  tcgetattr(slave, &t);
  k.terminal_restored = (t.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
  close(master);
  close(slave);
  return k;
}

// A resumed run against an uninterrupted one: the same report, results
// (but for the seconds) and chart, and no checkpoint left.
void expect_resumed_equals_whole(const Sandbox& stopped, const Sandbox& whole, const std::vector<std::string>& options,
                                 const RunOutput& reference) {
  RunOutput resumed = stopped.run(with(options, {"--resume"}));
  ASSERT_EQ(resumed.exit_code, 0) << resumed.err;
  EXPECT_EQ(resumed.out, reference.out);
  EXPECT_EQ(results_without_seconds(stopped.file("flockchase.csv")),
            results_without_seconds(whole.file("flockchase.csv")));
  EXPECT_EQ(stopped.file("flockchase.bmp"), whole.file("flockchase.bmp"));
  EXPECT_FALSE(stopped.exists("flockchase.checkpoint"));
}

TEST(ResultsRun, ResumeAfterSigtermEqualsAnUninterruptedRun) {
  const std::vector<std::string> options = ConvergingRun;
  Sandbox whole, stopped;
  RunOutput reference = whole.run(options);
  ASSERT_EQ(reference.exit_code, 0) << reference.err;

  Killed k = run_and_kill(stopped, options, 5);
  ASSERT_TRUE(WIFSIGNALED(k.status)) << k.status;
  EXPECT_EQ(WTERMSIG(k.status), SIGTERM);
  EXPECT_TRUE(k.terminal_restored);
  // Every finished column is kept whole; the run stopped before its end.
  const std::vector<ColumnResult> kept = results_of(stopped);
  ASSERT_GE(kept.size(), 5u);
  ASSERT_LT(kept.size(), results_of(whole).size());
  ASSERT_TRUE(stopped.exists("flockchase.checkpoint"));
  EXPECT_FALSE(stopped.exists("flockchase.bmp"));
  expect_resumed_equals_whole(stopped, whole, options, reference);
}

// With a pass budget and no time limit every column, whatever its end, is
// the same on any machine: a resumed run equals an uninterrupted one.
TEST(ResultsRun, ResumedMeasurementRunEqualsAnUninterruptedOne) {
  const std::vector<std::string> options = with(ConvergingRun, {"--robust", "--tangent", "--passes", "4000"});
  Sandbox whole, stopped;
  RunOutput reference = whole.run(options);
  ASSERT_EQ(reference.exit_code, 0) << reference.err;
  Killed k = run_and_kill(stopped, options, 4);
  ASSERT_TRUE(WIFSIGNALED(k.status)) << k.status;
  ASSERT_TRUE(stopped.exists("flockchase.checkpoint"));
  expect_resumed_equals_whole(stopped, whole, options, reference);
}

// The flow engine starts afresh every column and keeps nothing else: a flow
// run is the same on one and two threads, and resumed after a stop equals
// the uninterrupted run.
TEST(ResultsRun, FlowRunIsTheSameOnAnyThreadsAndWhenResumed) {
  const std::vector<std::string> options = with(ConvergingRun, {"--flow", "--passes", "40000"});
  Sandbox whole, two, stopped;
  RunOutput reference = whole.run(with(options, {"--threads", "1"}));
  ASSERT_EQ(reference.exit_code, 0) << reference.err;
  RunOutput on_two = two.run(with(options, {"--threads", "2"}));
  ASSERT_EQ(on_two.exit_code, 0) << on_two.err;
  EXPECT_EQ(on_two.out, reference.out);
  EXPECT_EQ(results_without_seconds(two.file("flockchase.csv")), results_without_seconds(whole.file("flockchase.csv")));
  EXPECT_EQ(two.file("flockchase.bmp"), whole.file("flockchase.bmp"));
  std::string error;
  ResultsLayout layout = ResultsLayout::Plain;
  const auto results = read_results_file((whole.dir / "flockchase.csv").string(), error, &layout);
  ASSERT_TRUE(results) << error;
  EXPECT_EQ(layout, ResultsLayout::Extended);
  for (const ColumnResult& r : *results) {
    EXPECT_EQ(r.integrator, "dopri5");
    EXPECT_EQ(r.tolerance, static_cast<Real>(1e-8));
    ASSERT_TRUE(r.steps && r.rejected_steps);
    EXPECT_GE(*r.steps, r.passes);  // at least one step a pass
    EXPECT_TRUE(r.tangent_exponent);
    EXPECT_EQ(r.tangent_standard_error, r.standard_error);  // the exponent is the tangent's
  }

  Killed k = run_and_kill(stopped, options, 2);
  ASSERT_TRUE(WIFSIGNALED(k.status)) << k.status;
  ASSERT_TRUE(stopped.exists("flockchase.checkpoint"));
  expect_resumed_equals_whole(stopped, whole, options, reference);
}

// An ensemble run's members file resumes with its results file: after a
// stop the two end as an uninterrupted run's do.
TEST(ResultsRun, EnsembleRunResumedEqualsAnUninterruptedOne) {
  const std::vector<std::string> options = {"--headless", "--flow",    "--passes", "3000", "--damping",
                                            "0.2375:0.24625", "--members", "16"};
  Sandbox whole, stopped;
  RunOutput reference = whole.run(options);
  ASSERT_EQ(reference.exit_code, 0) << reference.err;
  Killed k = run_and_kill(stopped, options, 3);
  ASSERT_TRUE(WIFSIGNALED(k.status)) << k.status;
  ASSERT_TRUE(stopped.exists("flockchase.checkpoint"));
  EXPECT_LT(stopped.file("flockchase.members.csv").size(), whole.file("flockchase.members.csv").size());
  expect_resumed_equals_whole(stopped, whole, options, reference);
  EXPECT_EQ(stopped.file("flockchase.members.csv"), whole.file("flockchase.members.csv"));
}

// Nine columns of the chaotic band, 200 units each, with the whole
// spectrum: the same on two threads, and resumed after a stop.
TEST(ResultsRun, SpectrumRunIsTheSameOnTwoThreadsAndResumed) {
  const std::vector<std::string> options = {"--headless", "--flow",    "--spectrum", "--passes",
                                            "20999",      "--damping", "0.4:0.41",   "--threads"};
  Sandbox whole, two, stopped;
  RunOutput reference = whole.run(with(options, {"1"}));
  ASSERT_EQ(reference.exit_code, 0) << reference.err;
  ASSERT_EQ(lines_of(whole.file("flockchase.spectrum.csv")).size(), 10u);
  ASSERT_EQ(two.run(with(options, {"2"})).exit_code, 0);
  EXPECT_EQ(two.file("flockchase.spectrum.csv"), whole.file("flockchase.spectrum.csv"));
  EXPECT_EQ(results_without_seconds(two.file("flockchase.csv")), results_without_seconds(whole.file("flockchase.csv")));
  Killed k = run_and_kill(stopped, with(options, {"1"}), 3);
  ASSERT_TRUE(WIFSIGNALED(k.status)) << k.status;
  EXPECT_LT(stopped.file("flockchase.spectrum.csv").size(), whole.file("flockchase.spectrum.csv").size());
  expect_resumed_equals_whole(stopped, whole, with(options, {"1"}), reference);
  EXPECT_EQ(stopped.file("flockchase.spectrum.csv"), whole.file("flockchase.spectrum.csv"));
}

// Two segments of a spectrum run merge their spectrum files one after the
// other, as they merge their results.
TEST(ResultsRun, SegmentsMergeTheirSpectra) {
  const std::vector<std::string> options = {"--headless", "--flow", "--spectrum", "6", "--passes", "3000",
                                            "--damping",  "0.4:0.41"};
  Sandbox apart;
  std::string joined;
  for (const std::string i : {"1", "2"}) {
    const RunOutput r = apart.run(with(options, {"--segment", i + "/2"}));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string text = apart.file("flockchase.seg" + i + "-2.spectrum.csv");
    joined += text.substr(i == "1" ? 0 : text.find('\n') + 1);
  }
  const RunOutput merged = apart.run(with(options, {"--merge"}));
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  EXPECT_EQ(lines_of(joined).size(), 10u);
  EXPECT_EQ(apart.file("flockchase.spectrum.csv"), joined);
  // Without the spectrum files the merge is refused.
  std::filesystem::remove(apart.dir / "flockchase.seg2-2.spectrum.csv");
  const RunOutput refused = apart.run(with(options, {"--merge"}));
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("no spectrum file flockchase.seg2-2.spectrum.csv here"), std::string::npos)
      << refused.err;
}

TEST(ResultsRun, BadResumesChangeNoFile) {
  Sandbox box;
  // No checkpoint at all.
  RunOutput none = box.run(with(ConvergingRun, {"--resume"}));
  EXPECT_EQ(none.exit_code, 2);
  EXPECT_NE(none.err.find("flockchase: cannot resume: no checkpoint flockchase.checkpoint"), std::string::npos)
      << none.err;
  EXPECT_FALSE(box.exists("flockchase.csv"));

  // A real checkpoint from a stopped run, then spoiled in several ways.
  Killed k = run_and_kill(box, ConvergingRun, 2);
  ASSERT_TRUE(box.exists("flockchase.checkpoint"));
  const std::string checkpoint = box.file("flockchase.checkpoint");
  const std::string csv = box.file("flockchase.csv");
  struct Case {
    std::vector<std::string> options;
    std::string checkpoint;
    std::string csv;
    const char* message;
  };
  std::string bad_state = checkpoint;
  bad_state.replace(bad_state.find("ref_state "), 10, "ref_state zz ");
  const Case cases[] = {
      {{"--headless", "--damping", "0.83:0.87", "--step", "5"}, checkpoint, csv, "written with other options"},
      {with(ConvergingRun, {"--robust"}), checkpoint, csv, "written with other options"},
      {ConvergingRun, "garbage\n", csv, "not a flockchase checkpoint"},
      {ConvergingRun, checkpoint.substr(0, checkpoint.size() / 2), csv, "damaged checkpoint"},
      {ConvergingRun, bad_state, csv, "damaged checkpoint (its checksum does not match)"},
      {ConvergingRun, reseal_checkpoint(bad_state), csv, "damaged checkpoint (ref_state)"},
      {ConvergingRun, checkpoint, lines_of(csv)[0] + "\n", "fewer columns than the checkpoint"},
      {ConvergingRun, checkpoint, csv + "849,broken\n", "is damaged"},
  };
  for (const Case& c : cases) {
    std::ofstream(box.dir / "flockchase.checkpoint") << c.checkpoint;
    std::ofstream(box.dir / "flockchase.csv") << c.csv;
    RunOutput r = box.run(with(c.options, {"--resume"}));
    EXPECT_EQ(r.exit_code, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(box.file("flockchase.checkpoint"), c.checkpoint);
    EXPECT_EQ(box.file("flockchase.csv"), c.csv);
    EXPECT_FALSE(box.exists("flockchase.bmp"));
  }
  (void)k;
}

TEST(ResultsRun, BadDampingRangesAreRefused) {
  Sandbox box;
  for (const char* range : {"0.9", "a:b", "0.9:0.1", "-1:0.5", "0:2", ":", "0.5:", "nan:1"}) {
    RunOutput r = box.run({"--headless", "--damping", range});
    EXPECT_EQ(r.exit_code, 2) << range;
    EXPECT_NE(r.err.find("--damping takes LOW:HIGH"), std::string::npos) << r.err;
    EXPECT_FALSE(box.exists("flockchase.csv"));
  }
}

TEST(ResultsRun, HistoryHasALinePerThousandMeasuredPasses) {
  Sandbox plain, watched;
  RunOutput a = plain.run(ConvergingRun);
  RunOutput b = watched.run(with(ConvergingRun, {"--history", "history.csv"}));
  ASSERT_EQ(a.exit_code, 0) << a.err;
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(results_without_seconds(plain.file("flockchase.csv")),
            results_without_seconds(watched.file("flockchase.csv")));

  const std::vector<std::string> history = lines_of(watched.file("history.csv"));
  ASSERT_FALSE(history.empty());
  EXPECT_EQ(history[0], "column,measured_passes,running_exponent,extrapolated,spread");
  std::size_t expected = 0;
  for (const ColumnResult& r : results_of(watched)) expected += static_cast<std::size_t>((r.measured_passes + 1) / 1000);
  EXPECT_EQ(history.size() - 1, expected);
  // The first line of a column is at 999 measured passes, before any test;
  // the second carries the first test's extrapolated value and spread.
  EXPECT_NE(history[1].find(",999,"), std::string::npos) << history[1];
  EXPECT_EQ(history[1].substr(history[1].size() - 2), ",,");
  EXPECT_NE(history[2].find(",1999,"), std::string::npos) << history[2];
  EXPECT_NE(history[2].back(), ',');
}

TEST(ResultsRun, BadHistoryPathIsRefusedBeforeAnythingRuns) {
  Sandbox box;
  RunOutput r = box.run({"--headless", "--history", "no/such/dir/history.csv"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("cannot write the history file no/such/dir/history.csv"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_FALSE(box.exists("flockchase.csv"));
}

}  // namespace
