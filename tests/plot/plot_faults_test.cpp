// flockchase-plot as a spawned process under faults: damaged and hostile
// inputs, bad command lines, outputs that are devices or FIFOs, and values
// it cannot draw, each said in one line. Beside plot_cli_test.cpp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "plot_support.hpp"
#include "process_support.hpp"
#include "tools/plot/palette.hpp"

namespace fs = std::filesystem;

namespace {

TEST(PlotFailures, DamagedFilesGiveOneLineAndNoPicture) {
  struct Case {
    const char* what;
    std::string text;  // "-": no file at all; "/": a folder of that name
    const char* message;
  };
  const Case cases[] = {
      {"missing file", "-", "in.csv: No such file or directory"},
      {"empty file", "", "in.csv: empty file"},
      {"header only", Header, "in.csv: no columns"},
      {"header lacks fields", "column,damping,exponent,spread\n849,0.9,0.1,0.01\n", "in.csv: line 1 is not the header"},
      {"not a number", Header + "849,0.9,0.5,0.001,-40,converged,5000,4000,1.000,0.1,4\n"
                                "848,0.89,zero,0.001,-40,converged,5000,4000,1.000,0.1,4\n",
       "in.csv: line 3 is damaged"},
      {"cut short", Header + "849,0.9,0.5,0.001,-40,conver", "in.csv: line 2 is damaged"},
      {"a folder", "/", "in.csv: is a folder"},
  };
  for (const Case& c : cases) {
    TempDir box;
    if (c.text == "/") fs::create_directory(box.path / "in.csv");
    else if (c.text != "-") write_text(box.path / "in.csv", c.text);
    write_text(box.path / "old.png", "earlier picture");
    const ProcessResult run = run_plot({"--output", "old.png", "in.csv"}, box.path);
    EXPECT_EQ(run.exit_code, 1) << c.what;
    EXPECT_EQ(run.signal, 0) << c.what;
    EXPECT_EQ(run.err.rfind("flockchase-plot: ", 0), 0u) << c.what << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.what << ": " << run.err;
    EXPECT_EQ(read_text(box.path / "old.png"), "earlier picture") << c.what;
    const std::vector<std::string> expected =
        c.text == "-" ? std::vector<std::string>{"old.png"} : std::vector<std::string>{"in.csv", "old.png"};
    EXPECT_EQ(folder_names(box.path), expected) << c.what;
  }
}

TEST(PlotFailures, ADamagedSecondFileWritesNothingAndAnUnwritableOutputIsReported) {
  TempDir box;
  write_text(box.path / "good.csv", Known);
  write_text(box.path / "bad.csv", Header + "1,2,3\n");
  ProcessResult run = run_plot({"good.csv", "bad.csv"}, box.path);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("bad.csv: line 2 is damaged"), std::string::npos) << run.err;
  EXPECT_EQ(folder_names(box.path), (std::vector<std::string>{"bad.csv", "good.csv"}));
  run = run_plot({"--output", "no/such/folder/plot.png", "good.csv"}, box.path);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("cannot write no/such/folder/plot.png: No such file or directory"), std::string::npos)
      << run.err;
}

TEST(PlotFailures, NonFiniteValuesAreDrawnAsDocumented) {
  struct Case {
    const char* what;
    std::string line;
    bool reported;
  };
  const Case cases[] = {
      {"NaN exponent", "849,0.9,nan,0.001,-40,converged,5000,4000,1.000,0.1,4", true},
      {"infinite exponent", "849,0.9,-inf,0.001,-40,converged,5000,4000,1.000,0.1,4", true},
      {"NaN damping", "849,nan,0.5,0.001,-40,converged,5000,4000,1.000,0.1,4", true},
      {"infinite standard error", "849,0.9,0.5,0.001,-40,time_limit,5000,4000,1.000,inf,4", false},
      {"NaN standard error", "849,0.9,0.5,0.001,-40,time_limit,5000,4000,1.000,nan,4", false},
      {"huge standard error", "849,0.9,0.5,0.001,-40,time_limit,5000,4000,1.000,1e300,4", false},
  };
  for (const Case& c : cases) {
    TempDir box;
    write_text(box.path / "in.csv", Header + c.line + "\n");
    const ProcessResult run = run_plot({"--output", "plot.svg", "in.csv"}, box.path);
    EXPECT_EQ(run.exit_code, 0) << c.what << ": " << run.err;
    EXPECT_EQ(run.err.find("not drawn") != std::string::npos, c.reported) << c.what << ": " << run.err;
    ASSERT_TRUE(fs::exists(box.path / "plot.svg")) << c.what;
    const std::string svg = read_text(box.path / "plot.svg");
    // Swatch, plus the marker when drawn; never a bar of an infinite error.
    const int bars = std::string(c.what) == "huge standard error" ? 1 : 0;
    EXPECT_EQ(svg_paths_in(svg, series_colour(0)), 1 + (c.reported ? 0 : 1) + bars) << c.what;
  }
}

TEST(PlotFailures, BadOptionsExitTwoWithTheUsage) {
  TempDir box;
  write_text(box.path / "in.csv", Known);
  struct Case {
    std::vector<std::string> arguments;
    const char* said;  // in the first line
  };
  const Case cases[] = {
      {{}, "missing RESULTS.csv"},
      {{"--output", "plot.gif", "in.csv"}, "extension"},
      {{"--output", "plot.csv", "in.csv"}, "extension"},
      {{"--size", "100x100", "in.csv"}, "320x240"},
      {{"--size", "big", "in.csv"}, "WIDTHxHEIGHT"},
      {{"--damping", "0.9:0.1", "in.csv"}, "LOW:HIGH"},
      {{"--title"}, "needs a value"},
      {{"--verbose", "in.csv"}, "unknown option"},
      // Control bytes in a value are shown escaped, on the one line.
      {{"--output", "plot\n.gif", "in.csv"}, "--output 'plot\\n.gif'"},
      {{"--size", "960x600\n", "in.csv"}, "--size '960x600\\n'"},
      {{"--damping", "0:1\x1b[2J", "in.csv"}, "--damping '0:1\\x1b[2J'"},
      {{"--col\nour", "in.csv"}, "unknown option '--col\\nour'"},
      // Each option at most once, as flockchase has it.
      {{"--output", "x.png", "--output", "y.png", "in.csv"}, "--output is given more than once"},
      {{"--output=x.png", "--output", "x.png", "in.csv"}, "--output is given more than once"},
      {{"--rates", "--rates", "in.csv"}, "--rates is given more than once"},
      {{"--title", "a", "--title", "b", "in.csv"}, "--title is given more than once"},
      {{"--size", "960x600", "in.csv", "--size", "960x600"}, "--size is given more than once"},
      {{"--damping", "0:1", "--damping", "0:1", "in.csv"}, "--damping is given more than once"},
      {{"--help", "-h"}, "-h is given more than once"},
      // A title is the user's own text: not UTF-8, or with a control
      // character, it is refused rather than drawn as replacement characters.
      {{"--title", "d\xE9part", "in.csv"}, "--title 'd\\xe9part': not UTF-8 text"},
      {{"--title", "two\nlines", "in.csv"}, "--title 'two\\nlines': a title is one line of text"},
  };
  for (const Case& c : cases) {
    const ProcessResult run = run_plot(c.arguments, box.path);
    EXPECT_EQ(run.exit_code, 2) << c.said;
    EXPECT_EQ(run.err.rfind("flockchase-plot: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    EXPECT_NE(run.err.find("\nusage: flockchase-plot "), std::string::npos) << run.err;
    EXPECT_NE(run.err.substr(0, run.err.find('\n')).find(c.said), std::string::npos) << c.said << ": " << run.err;
  }
  EXPECT_EQ(folder_names(box.path), std::vector<std::string>{"in.csv"});
  const ProcessResult help = run_plot({"--help"}, box.path);
  EXPECT_EQ(help.exit_code, 0);
  for (const char* word : {"usage: flockchase-plot", ".svg", ".pdf", "NaN", "infinite", "hollow", "Exit status"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// Under a time limit: a hang is killed and fails the case.
ProcessResult run_plot_limited(const std::vector<std::string>& arguments, const fs::path& directory) {
  std::vector<std::string> argv{"timeout", "-s", "KILL", "20", PLOT_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run_process(argv, SpawnOptions{directory});
}

fs::file_type type_of(const fs::path& path) { return fs::symlink_status(path).type(); }

TEST(PlotFailures, HostileInputsAndOutputsAreRefusedOrStreamedNeverReplacedNorWaitedOn) {
  const bool root = geteuid() == 0;
  struct Case {
    const char* what;
    bool needs_root;  // device nodes
    std::function<void(const fs::path&)> prepare;
    std::vector<std::string> arguments;
    int exit_code;
    const char* said;  // in the one line on standard error; "" for none
    const char* special;  // still what it was made, if any
    fs::file_type type;
  };
  auto node = [](const char* name, mode_t type, int major_number, int minor_number) {
    return [=](const fs::path& d) {
      ASSERT_EQ(mknod((d / name).c_str(), type | 0666, makedev(major_number, minor_number)), 0) << std::strerror(errno);
    };
  };
  auto fifo = [](const char* name) { return [name](const fs::path& d) { ASSERT_EQ(mkfifo((d / name).c_str(), 0666), 0); }; };
  const std::string damaged = Header + std::string("817,\0GARBAGE,0.5,0.001,-40,converged,5000,4000,1.000,0.1,4\n", 59);
  const Case cases[] = {
      {"a NUL inside a field", false, [&](const fs::path& d) { write_text(d / "in.csv", damaged); }, {"in.csv"}, 1,
       "in.csv: line 2 is damaged", "", fs::file_type::none},
      {"the input a FIFO", false, fifo("in.csv"), {"--output", "p.png", "in.csv"}, 1, "FIFO", "in.csv",
       fs::file_type::fifo},
      {"the input /dev/zero", true, node("in.csv", S_IFCHR, 1, 5), {"--output", "p.png", "in.csv"}, 1,
       "character device", "in.csv", fs::file_type::character},
      {"the output a character device", true, node("null.png", S_IFCHR, 1, 3), {"--output", "null.png", "known.csv"},
       0, "", "null.png", fs::file_type::character},
      {"the output a FIFO nobody reads", false, fifo("pipe.png"), {"--output", "pipe.png", "known.csv"}, 1,
       "a FIFO that no process reads", "pipe.png", fs::file_type::fifo},
      {"the output a block device", true, node("disk.png", S_IFBLK, 7, 0), {"--output", "disk.png", "known.csv"}, 2,
       "block device", "disk.png", fs::file_type::block},
      {"the output the input, spelled otherwise", false,
       [](const fs::path& d) { fs::copy_file(d / "known.csv", d / "in.png"); }, {"--output", "./in.png", "in.png"}, 2,
       "is the results file", "", fs::file_type::none},
      {"the output a link to the input", false,
       [](const fs::path& d) { fs::create_symlink("known.csv", d / "link.png"); }, {"--output", "link.png", "known.csv"},
       2, "is the results file", "link.png", fs::file_type::symlink},
      {"a file name that is not UTF-8", false,
       [](const fs::path& d) { fs::copy_file(d / "known.csv", d / "d\xE9part.csv"); },
       {"--output", "p.png", "d\xE9part.csv"}, 0, "", "", fs::file_type::none},
  };
  for (const Case& c : cases) {
    if (c.needs_root && !root) continue;
    TempDir box;
    write_text(box.path / "known.csv", Known);
    c.prepare(box.path);
    const std::vector<std::string> before = folder_names(box.path);
    const ProcessResult run = run_plot_limited(c.arguments, box.path);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.what << ": " << run.err;
    if (*c.special) {
      EXPECT_EQ(type_of(box.path / c.special), c.type) << c.what;
    }
    if (*c.said) {
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.what << ": " << run.err;
      EXPECT_NE(run.err.find(c.said), std::string::npos) << c.what << ": " << run.err;
      EXPECT_EQ(folder_names(box.path), before) << c.what;
    } else {
      EXPECT_EQ(run.err, "") << c.what;
    }
  }
}

TEST(PlotFailures, APlotIntoAFifoReachesItsReader) {
  TempDir box;
  write_text(box.path / "known.csv", Known);
  ASSERT_EQ(mkfifo((box.path / "pipe.png").c_str(), 0666), 0);
  // The reader is a process with a time limit of its own: a plotter that
  // never opens the FIFO must not leave it waiting for ever.
  const pid_t reader = fork();
  if (reader == 0) {
    const std::string command = "exec timeout -s KILL 20 cat '" + (box.path / "pipe.png").string() + "' > '" +
                                (box.path / "got").string() + "'";
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ProcessResult run;
  for (int attempt = 0; attempt < 200; ++attempt) {
    run = run_plot_limited({"--output", "pipe.png", "known.csv"}, box.path);
    if (run.exit_code != 1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  waitpid(reader, nullptr, 0);
  const std::string got = read_text(box.path / "got");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(got.substr(0, 8), "\x89PNG\r\n\x1A\n");
  EXPECT_EQ(type_of(box.path / "pipe.png"), fs::file_type::fifo);
}

TEST(PlotFailures, ExtremeValuesAreLeftOutWithALineAndTheRestDrawnAsWithoutThem) {
  const std::string extreme = Known + "300,0.3,1e308,0.001,-40,converged,5000,4000,1.000,0.1,4\n"
                                      "350,0.35,-1e308,0.001,-40,converged,5000,4000,1.000,0.1,4\n";
  TempDir plain, with_extremes;
  write_text(plain.path / "in.csv", Known);
  write_text(with_extremes.path / "in.csv", extreme);
  const ProcessResult reference = run_plot({"--output", "p.png", "in.csv"}, plain.path);
  const ProcessResult run = run_plot({"--output", "p.png", "in.csv"}, with_extremes.path);
  ASSERT_EQ(reference.exit_code, 0) << reference.err;
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "flockchase-plot: in.csv: 2 columns with an exponent beyond 1e307 in magnitude, which no axis "
                     "can span with the others not drawn\n");
  EXPECT_TRUE(read_file(with_extremes.path / "p.png") == read_file(plain.path / "p.png"));
  // Nothing within the damping range: the frame is drawn, but not in silence.
  const ProcessResult empty = run_plot({"--output", "e.png", "--damping", "0.1:0.2", "in.csv"}, plain.path);
  EXPECT_EQ(empty.exit_code, 0);
  EXPECT_NE(empty.err.find("no column to draw within damping 0.1:0.2"), std::string::npos) << empty.err;
}

TEST(PlotFailures, RatesAndValuesThatCannotBeDrawnAreSaidAloud) {
  const std::string measurement = ",large_passes,extrapolated,tangent_exponent,tangent_standard_error";
  const std::string header = Header.substr(0, Header.size() - 1) + measurement +
                             ",regime,captures,chaotic_time,capture_rate,collapse_rate,integrator,tolerance,steps,"
                             "rejected_steps\n";
  // A transient column at damping 0.1 with these rates; one at 0.15 that
  // draws both.
  auto with_rates = [&](const std::string& capture, const std::string& collapse) {
    return header + "210,0.2,1.3,0.001,-9,pass_limit,5000,3000,1.000,0.1,3,0,,,,transient,2,30," + capture + "," +
           collapse + ",step,1e-8,,\n";
  };
  const std::string good = "170,0.15,1.2,0.001,-9,pass_limit,5000,3000,1.000,0.1,3,0,,,,transient,1,30,0.02,0.5,step,1e-8,,\n";
  const std::string line = "849,0.9,0.5,0.001,-40,converged,5000,4000,1.000,0.1,4";
  const std::string missing = "flockchase-plot: in.csv: no collapse_rate field and no capture_rate field (written "
                              "without capture detection, or before it): nothing of it is drawn\n"
                              "flockchase-plot: no rate to draw; the frame is empty\n";
  struct Case {
    const char* what;
    std::string text;
    bool rates;
    std::string said;  // all of standard error
  };
  const Case cases[] = {
      {"an infinite collapse rate", with_rates("0.05", "inf") + good, true,
       "flockchase-plot: in.csv: 1 column with a non-finite collapse_rate or damping not drawn\n"},
      {"collapse rates of 1e308 and 1e4000", with_rates("0.05", "1e308") + good + with_rates("0.05", "1e4000").substr(header.size()),
       true,
       "flockchase-plot: in.csv: 2 columns with a collapse_rate beyond 1e307 in magnitude, which no axis can span with "
       "the others not drawn\n"},
      {"a capture rate of -inf and a collapse rate of 1e308", with_rates("-inf", "1e308") + good, true,
       "flockchase-plot: in.csv: 1 column with a collapse_rate beyond 1e307 in magnitude, which no axis can span with "
       "the others and 1 column with a non-finite capture_rate or damping not drawn\n"},
      {"every rate NaN", with_rates("nan", "nan"), true,
       "flockchase-plot: in.csv: 1 column with a non-finite collapse_rate or damping and 1 column with a non-finite "
       "capture_rate or damping not drawn\nflockchase-plot: no rate to draw; the frame is empty\n"},
      {"an 11-field file", Header + line + "\n", true, missing},
      {"a 15-field file", Header.substr(0, Header.size() - 1) + measurement + "\n" + line + ",,,,\n", true, missing},
      {"a 16-field merged file", Header.substr(0, Header.size() - 1) + measurement + ",segment\n" + line + ",,,,,1\n",
       true, missing},
      // The exponent plot: a value beyond any double is beyond the axis, not
      // infinite; with nothing drawable the damping range is not to blame.
      {"an exponent of 1e4000", Known + "300,0.3,1e4000,0.001,-40,converged,5000,4000,1.000,0.1,4\n", false,
       "flockchase-plot: in.csv: 1 column with an exponent beyond 1e307 in magnitude, which no axis can span with the "
       "others not drawn\n"},
      {"every exponent NaN", Header + "849,0.9,nan,0.001,-40,converged,5000,4000,1.000,0.1,4\n", false,
       "flockchase-plot: in.csv: 1 column with a non-finite exponent or damping not drawn\n"
       "flockchase-plot: no column to draw; the frame is empty\n"},
      // Captured columns have no exponent but their ticks: the frame is not empty.
      {"every column captured",
       header + "100,0.0625,,,,pass_limit,5000,0,1.000,,0,0,,,,captured,4,0,0.9,1.07,step,1e-8,,\n", false, ""},
  };
  for (const Case& c : cases) {
    TempDir box;
    write_text(box.path / "in.csv", c.text);
    std::vector<std::string> arguments{"--output", "p.svg", "in.csv"};
    if (c.rates) arguments.insert(arguments.begin(), "--rates");
    const ProcessResult run = run_plot(arguments, box.path);
    EXPECT_EQ(run.exit_code, 0) << c.what << ": " << run.err;
    EXPECT_EQ(run.err, c.said) << c.what;
    EXPECT_TRUE(fs::exists(box.path / "p.svg")) << c.what;
  }
}

}  // namespace
