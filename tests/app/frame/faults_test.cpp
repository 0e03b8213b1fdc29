// What a hostile but fair user tries: links planted on temporary names,
// closed standard descriptors, full devices, two runs at once, damaged
// checkpoints and results files (the command line and the end steps are in
// cli_faults_test.cpp).
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
#include "app/frame/faults_support.hpp"
#include "app/frame/options.hpp"
#include "app/run_support.hpp"
#include "canvas/bitmap.hpp"
#include "canvas/canvas.hpp"
#include "runtime/replace_file.hpp"
#include "support/tmpfs.hpp"

namespace {

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

}  // namespace
