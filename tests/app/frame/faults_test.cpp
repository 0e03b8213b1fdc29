// What a hostile but fair user tries: links planted on temporary names,
// closed standard descriptors, full devices, two runs at once, damaged
// checkpoints and results files, and the edges of --damping.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <set>
#include <thread>

#include "app/files/checkpoint.hpp"
#include "app/files/results_file.hpp"
#include "app/files/resume.hpp"
#include "app/frame/options.hpp"
#include "app/run_support.hpp"
#include "canvas/bitmap.hpp"
#include "canvas/canvas.hpp"
#include "runtime/replace_file.hpp"
#include "support/tmpfs.hpp"

namespace {

// Three columns (849, 846, 843) that converge, the first in about 76,000
// passes, the others in 8,000.
const std::vector<std::string> QuickRun = {"--headless", "--damping", "0.99:0.99875", "--step", "3"};

// Runs flockchase in `cwd` with the sandbox's stand-in converter; the
// outputs go to the sandbox, never into `cwd`. `redirections` replace the
// usual ones when given.
RunOutput run_in(const Sandbox& box, const fs::path& cwd, const std::vector<std::string>& arguments,
                 const std::string& redirections = "") {
  std::string command = "cd '" + cwd.string() + "' && PATH='" + (box.dir / "bin").string() + ":'\"$PATH\" exec '" +
                        FlockchaseBinary + "'";
  for (const std::string& a : arguments) command += " '" + a + "'";
  const std::string out = (box.dir / "out.txt").string(), err = (box.dir / "err.txt").string();
  command += redirections.empty() ? " </dev/null >'" + out + "' 2>'" + err + "'" : " " + redirections;
  fs::remove(box.dir / "out.txt");
  fs::remove(box.dir / "err.txt");
  return run_shell(command, box.dir);
}

// Every regular file of a folder with its contents.
std::map<std::string, std::string> contents_of(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file() && !entry.is_symlink()) files[entry.path().filename()] = read_file(entry.path());
  return files;
}

std::size_t count_lines_with(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (const std::string& line : lines_of(text)) n += line.find(part) != std::string::npos;
  return n;
}

// The reference: QuickRun in a sandbox of its own.
struct Reference {
  Sandbox box;
  RunOutput run;
  Reference() : run(box.run(QuickRun)) {}
};

const Reference& reference() {
  static const Reference* r = new Reference;
  return *r;
}

TEST(Faults, ALinkPlantedOnATemporaryNameIsNeverWrittenThrough) {
  // In-process, where the temporaries' names can be foreseen: links on the
  // first 50 names of each file, all aimed at one victim.
  char pattern[] = "/tmp/flockchase-links-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  const fs::path victim = dir / "victim";
  write_text(victim, "precious\n");
  const WindowHandle window = canvas_create_offscreen(4, 3);
  canvas_attach(window, 0, true);
  struct Case {
    const char* name;
    std::function<bool()> write;
  };
  const Case cases[] = {
      {"flockchase.bmp", [&] { return canvas_save_bmp((dir / "flockchase.bmp").string()); }},
      {"flockchase.checkpoint",
       [&] {
         std::string error;
         Checkpoint c;
         c.column = 849;
         c.results_lines = 1;
         return write_checkpoint((dir / "flockchase.checkpoint").string(), c, error);
       }},
      {"flockchase.csv",
       [&] {
         std::string error;
         ResultsFile results;
         return results_start(results, (dir / "flockchase.csv").string(), {}, error);
       }},
  };
  // Links on the first 60 temporary names of each file (the names a fresh
  // process uses first): they are stepped over. Then links on every name the
  // routine would try: the write is refused. Neither touches the victim.
  std::set<std::string> planted;
  auto plant = [&](const char* file, int count) {
    for (int counter = 0; counter < count; ++counter) {
      std::string name(1, '.');
      name += file;
      name += '.';
      name += std::to_string(getpid());
      name += '.';
      name += std::to_string(counter);
      name += ".tmp";
      if (!fs::exists(fs::symlink_status(dir / name))) {
        fs::create_symlink(victim, dir / name);
        planted.insert(name);
      }
    }
  };
  for (const Case& c : cases) {
    plant(c.name, 60);
    ASSERT_TRUE(c.write()) << c.name;
    EXPECT_EQ(read_file(victim), "precious\n") << c.name;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / c.name))) << c.name;
    const std::string written = read_file(dir / c.name);
    plant(c.name, 3000);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(c.write()) << c.name;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(read_file(victim), "precious\n") << c.name;
    EXPECT_EQ(read_file(dir / c.name), written) << c.name;
  }
  canvas_destroy_window(window);
  // The links are left alone, and no temporary of our own is left.
  std::size_t links = 0, others = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_symlink()) {
      ++links;
    } else if (entry.path().filename().string().ends_with(".tmp")) {
      ++others;
    }
  }
  EXPECT_EQ(links, planted.size());
  EXPECT_EQ(others, 0u);
  fs::remove_all(dir);
}

TEST(Faults, LinksPlantedOnTheRunsFileNamesAreReplacedNotFollowed) {
  // The real program: links where the old fixed temporary names were, and
  // on the results file itself.
  Sandbox box;
  const fs::path victim = box.dir / "victim";
  write_text(victim, "precious\n");
  for (const char* name : {"flockchase.csv.tmp", "flockchase.checkpoint.tmp", "flockchase.bmp.tmp", "flockchase.csv"})
    fs::create_symlink(victim, box.dir / name);
  const RunOutput r = box.run(QuickRun);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_file(victim), "precious\n");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(box.dir / "flockchase.csv")));
  EXPECT_EQ(results_without_seconds(box.file("flockchase.csv")),
            results_without_seconds(reference().box.file("flockchase.csv")));
}

TEST(Faults, ClosedStandardDescriptorsLeaveTheResultsFileClean) {
  const std::string expected = results_without_seconds(reference().box.file("flockchase.csv"));
  ASSERT_EQ(lines_of(expected).size(), 4u);
  const char* const cases[] = {"<&- >&- 2>&-", "</dev/null >&- 2>/dev/null", "</dev/null >/dev/null 2>&-"};
  for (const char* redirections : cases) {
    Sandbox box;
    const RunOutput r = run_in(box, box.dir, QuickRun, redirections);
    EXPECT_EQ(r.exit_code, 0) << redirections;
    EXPECT_EQ(results_without_seconds(box.file("flockchase.csv")), expected) << redirections;
    EXPECT_EQ(box.file("flockchase.bmp"), reference().box.file("flockchase.bmp")) << redirections;
  }
}


TEST(Faults, AFullDeviceFailsTheRunWithOneLinePerFileAndKeepsOldFiles) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  struct Case {
    const char* full;                     // the file the full device is meant to refuse
    int free_pages;                       // on the run's device after the old files
    bool history_on_full_device;          // --history on a second, full tmpfs
    std::vector<std::string> refused;     // files named in one line each
    bool converter_started;
  };
  const Case cases[] = {
      // Not even the results file: nothing runs.
      {"csv", 0, false, {"flockchase.csv"}, false},
      // The results file fits, the checkpoint and (on the same device) the bitmap do not.
      {"checkpoint", 2, false, {"flockchase.checkpoint", "flockchase.bmp"}, false},
      // All but the bitmap.
      {"bitmap", 12, false, {"flockchase.bmp"}, false},
      {"history", 100000, true, {"history.csv"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.full);
    Sandbox box;
    Tmpfs device(box.dir / "run", "size=4m");
    ASSERT_TRUE(device.mounted) << std::strerror(errno);
    Tmpfs history_device(box.dir / "history", "size=64k");
    ASSERT_TRUE(history_device.mounted);
    // Old files that must survive: the checkpoint and bitmap of an earlier run.
    const std::map<std::string, std::string> old = {{"flockchase.checkpoint", "old checkpoint\n"},
                                                    {"flockchase.bmp", "old bitmap\n"}};
    for (const auto& [name, text] : old) write_text(device.dir / name, text);
    write_text(device.dir / "flockchase.lock", "");
    write_text(history_device.dir / "history.csv", "old history\n");
    if (c.history_on_full_device) history_device.fill_leaving(0);
    if (c.free_pages < 100000) device.fill_leaving(c.free_pages);

    std::vector<std::string> arguments = QuickRun;
    if (c.history_on_full_device) {
      arguments.push_back("--history");
      arguments.push_back((history_device.dir / "history.csv").string());
    }
    const RunOutput r = run_in(box, device.dir, arguments);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    for (const std::string& name : c.refused) {
      EXPECT_EQ(count_lines_with(r.err, name), name == "flockchase.bmp" ? 2u : 1u) << r.err;
      EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    }
    const bool bitmap_refused = std::find(c.refused.begin(), c.refused.end(), "flockchase.bmp") != c.refused.end();
    if (bitmap_refused) {
      EXPECT_EQ(count_lines_with(r.err, "converter is not started"), 1u) << r.err;
    }
    EXPECT_EQ(fs::exists(box.dir / "picvec.calls"), c.converter_started);
    // Nothing refused was touched; no temporary is left.
    for (const std::string& name : c.refused) {
      if (name == "history.csv") {
        EXPECT_EQ(read_file(history_device.dir / name), "old history\n");
      } else if (old.count(name)) {
        EXPECT_EQ(read_file(device.dir / name), old.at(name)) << name;
      } else {
        EXPECT_FALSE(fs::exists(device.dir / name)) << name;
      }
    }
    for (const fs::path& d : {device.dir, history_device.dir})
      for (const auto& entry : fs::directory_iterator(d))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
    if (std::string(c.full) == "csv") {
      EXPECT_TRUE(r.out.empty()) << r.out;
    }
  }
}

TEST(Faults, ASecondRunInTheSameDirectoryIsRefusedAndChangesNothing) {
  Sandbox box;
  // Its first column takes some seconds.
  const std::vector<std::string> longer = QuickRun;
  const pid_t first = fork();
  ASSERT_GE(first, 0);
  if (first == 0) {
    const std::string command = box.command(longer);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // The shell execs flockchase, so the PID in the lock file is `first`.
  ASSERT_TRUE([&] {
    for (int i = 0; i < 2000; ++i) {
      if (box.file("flockchase.lock") == std::to_string(first) + "\n" && box.exists("flockchase.csv")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }());
  const std::vector<std::vector<std::string>> seconds = {
      longer, {"--headless"}, {"--headless", "--resume", "--damping", "0.99:0.99875", "--step", "3"}};
  Sandbox elsewhere;  // the second run's own outputs
  for (const auto& arguments : seconds) {
    const auto before = contents_of(box.dir);
    const RunOutput r = run_in(elsewhere, box.dir, arguments);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("process " + std::to_string(first)), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    // Only the first run may have written meanwhile: the files that existed
    // grow or stay, none appears that the first run does not write.
    for (const auto& [name, text] : contents_of(box.dir)) {
      if (name == "flockchase.csv") {
        EXPECT_EQ(text.substr(0, before.at(name).size()), before.at(name));
      }
      EXPECT_TRUE(before.count(name) || name == "flockchase.checkpoint" || name == "flockchase.bmp") << name;
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(first, &status, 0), first);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The first run's results are those of a run alone.
  EXPECT_EQ(results_without_seconds(box.file("flockchase.csv")),
            results_without_seconds(reference().box.file("flockchase.csv")));
  EXPECT_EQ(box.file("flockchase.bmp"), reference().box.file("flockchase.bmp"));
}

// A stopped run's checkpoint and results file, as they are on disk: the
// bitmap could not be saved (its name is a folder), so the checkpoint of
// the last column stays.
struct StoppedRun {
  Sandbox box;
  std::string checkpoint, csv, options_text;
  StoppedRun() {
    fs::create_directory(box.dir / "flockchase.bmp");
    const RunOutput r = box.run(QuickRun);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    fs::remove(box.dir / "flockchase.bmp");
    checkpoint = box.file("flockchase.checkpoint");
    csv = box.file("flockchase.csv");
    OptionsResult parsed = ParseOptions(QuickRun);
    options_text = ResultOptionsText(*parsed.options);
  }
};

TEST(Faults, DamagedCheckpointsAndResultsAreRefusedNeverResumedIntoOtherResults) {
  StoppedRun stopped;
  std::string error;
  const std::optional<Resumption> good =
      ResumptionFrom(stopped.options_text, stopped.checkpoint, stopped.csv, "flockchase", error);
  ASSERT_TRUE(good) << error;
  ASSERT_EQ(good->finished.size(), 3u);
  auto same = [&](const Resumption& r) {
    if (checkpoint_text(r.checkpoint) != stopped.checkpoint || r.finished.size() != good->finished.size())
      return false;
    for (std::size_t i = 0; i < r.finished.size(); ++i)
      if (results_line(r.finished[i]) != results_line(good->finished[i])) return false;
    return true;
  };
  // One-byte changes of either file, in-process.
  std::mt19937 random(20261209);
  int refused = 0, resumed = 0;
  struct Mutation {
    bool in_checkpoint;
    std::size_t at;
    char byte;
  };
  std::vector<Mutation> mutations;
  for (int i = 0; i < 400; ++i) {
    const bool in_checkpoint = i % 2 == 0;
    const std::string& text = in_checkpoint ? stopped.checkpoint : stopped.csv;
    const std::size_t at = random() % text.size();
    char byte = static_cast<char>(random() % 256);
    if (byte == text[at]) byte = static_cast<char>(byte ^ 1);
    mutations.push_back({in_checkpoint, at, byte});
  }
  for (const Mutation& m : mutations) {
    std::string checkpoint = stopped.checkpoint, csv = stopped.csv;
    (m.in_checkpoint ? checkpoint : csv)[m.at] = m.byte;
    const std::optional<Resumption> r = ResumptionFrom(stopped.options_text, checkpoint, csv, "flockchase", error);
    if (!r) {
      ++refused;
      EXPECT_EQ(error.find('\n'), std::string::npos);
    } else {
      ++resumed;
      EXPECT_TRUE(same(*r)) << (m.in_checkpoint ? "checkpoint" : "csv") << " byte " << m.at;
    }
  }
  EXPECT_EQ(refused + resumed, 400);
  EXPECT_GT(refused, 350);  // a CRC-32 finds every one-byte change it covers

  // A few end to end: refused with exit 2 and no file changed, or resumed
  // to the same results.
  const std::string expected = results_without_seconds(reference().box.file("flockchase.csv"));
  for (int i = 0; i < 4; ++i) {
    const Mutation& m = mutations[static_cast<std::size_t>(i * 37)];
    std::string checkpoint = stopped.checkpoint, csv = stopped.csv;
    (m.in_checkpoint ? checkpoint : csv)[m.at] = m.byte;
    write_text(stopped.box.dir / "flockchase.checkpoint", checkpoint);
    write_text(stopped.box.dir / "flockchase.csv", csv);
    std::vector<std::string> arguments = QuickRun;
    arguments.push_back("--resume");
    const RunOutput r = stopped.box.run(arguments);
    if (r.exit_code == 2) {
      EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
      EXPECT_EQ(stopped.box.file("flockchase.checkpoint"), checkpoint);
      EXPECT_EQ(stopped.box.file("flockchase.csv"), csv);
      EXPECT_FALSE(stopped.box.exists("flockchase.bmp"));
    } else {
      EXPECT_EQ(r.exit_code, 0) << r.err;
      EXPECT_EQ(results_without_seconds(stopped.box.file("flockchase.csv")), expected);
    }
  }
  // The undamaged pair resumes: nothing is left to run, the bitmap is saved
  // and equals that of a run that was never stopped.
  write_text(stopped.box.dir / "flockchase.checkpoint", stopped.checkpoint);
  write_text(stopped.box.dir / "flockchase.csv", stopped.csv);
  std::vector<std::string> arguments = QuickRun;
  arguments.push_back("--resume");
  const RunOutput r = stopped.box.run(arguments);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, reference().run.out);
  EXPECT_EQ(stopped.box.file("flockchase.bmp"), reference().box.file("flockchase.bmp"));
  EXPECT_FALSE(stopped.box.exists("flockchase.checkpoint"));
}

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
