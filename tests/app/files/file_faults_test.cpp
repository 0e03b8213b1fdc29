// The run's files under faults of the file system and of hostile users: a
// device that fills in the middle of a sweep, outputs that are devices,
// FIFOs or the run's own files, inputs that never end, a resume after a
// kill or through a link (resumes edited consistently past the checksums
// are in resume_faults_test.cpp). Every run has a time limit, so that a
// hang fails its test, not the suite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <thread>

#include "app/files/file_faults_support.hpp"
#include "app/files/number_text.hpp"
#include "app/run_support.hpp"
#include "support/tmpfs.hpp"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitized = true;
#else
constexpr bool AddressSanitized = false;
#endif

// 33 columns of 3000 passes with a history: the results file and the history
// each cross a page of 4096 bytes in the middle of the sweep.
const std::vector<std::string> HistoryRun = {"--headless", "--passes", "3000", "--damping", "0.92:0.96",
                                             "--history",  "h.csv"};
// The uninterrupted HistoryRun.
struct HistoryReference {
  Sandbox box;
  RunOutput run;
  HistoryReference() : run(run_at(box, box.dir, HistoryRun)) {}
};

const HistoryReference& history_reference() {
  static const HistoryReference* r = new HistoryReference;
  return *r;
}


// What a sweep stopped by a write fault must leave, and what --resume must
// make of it once the fault is gone: the uninterrupted run's results,
// history, report and chart.
void expect_stopped_then_resumed(const Sandbox& box, const fs::path& cwd, const fs::path& history,
                                 const std::vector<std::string>& arguments, const RunOutput& stopped,
                                 const std::function<void()>& mend) {
  const HistoryReference& reference = history_reference();
  ASSERT_EQ(reference.run.exit_code, 0) << reference.run.err;
  EXPECT_EQ(stopped.exit_code, 1) << stopped.err;
  EXPECT_NE(stopped.err.find("the run's files stop after column"), std::string::npos) << stopped.err;
  // Whole lines only, and fewer than the whole sweep's: the fault came in
  // the middle.
  const std::string csv = read_file(cwd / "flockchase.csv"), kept_history = read_file(history);
  EXPECT_EQ(csv.back(), '\n');
  EXPECT_EQ(kept_history.back(), '\n');
  EXPECT_LT(line_count(csv), line_count(reference.box.file("flockchase.csv")));
  const std::vector<std::string> csv_lines = lines_of(csv);
  ASSERT_FALSE(csv_lines.empty());
  const auto fields = std::count(csv_lines.front().begin(), csv_lines.front().end(), ',');
  for (const std::string& line : csv_lines) EXPECT_EQ(std::count(line.begin(), line.end(), ','), fields) << line;
  mend();
  const RunOutput resumed = run_at(box, cwd, with(arguments, {"--resume"}));
  EXPECT_EQ(resumed.exit_code, 0) << resumed.err;
  EXPECT_EQ(results_without_seconds(read_file(cwd / "flockchase.csv")),
            results_without_seconds(reference.box.file("flockchase.csv")));
  EXPECT_EQ(read_file(history), reference.box.file("h.csv"));
  EXPECT_EQ(resumed.out, reference.run.out);
  EXPECT_TRUE(read_file(cwd / "flockchase.bmp") == reference.box.file("flockchase.bmp")) << resumed.err;
}

TEST(FileFaults, ADeviceThatFillsMidSweepLeavesAPairThatResumesToTheWholeRun) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  struct Case {
    const char* name;
    int free_pages;          // on the run's device, the history on it too; -1: not filled
    int history_free_pages;  // on a device of the history's own, or -1
    const char* failed;      // the file whose write failed first
  };
  const Case cases[] = {
      // Lock, results, history and checkpoint take a page each, a new
      // checkpoint one more until the old one goes.
      {"no room for the second checkpoint", 4, -1, "flockchase.checkpoint"},
      {"the results file takes the last page", 5, -1, "flockchase.checkpoint"},
      {"the history's device fills", -1, 1, "h.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    Tmpfs device(box.dir / "run", "size=4m");
    Tmpfs history_device(box.dir / "history", "size=64k");
    if (!device.mounted || !history_device.mounted) GTEST_SKIP() << "mount refused: " << std::strerror(errno);
    const fs::path history = (c.history_free_pages < 0 ? device.dir : history_device.dir) / "h.csv";
    std::vector<std::string> arguments = HistoryRun;
    arguments.back() = history.string();
    if (c.free_pages >= 0) device.fill_leaving(c.free_pages);
    if (c.history_free_pages >= 0) history_device.fill_leaving(c.history_free_pages);
    const RunOutput stopped = run_at(box, device.dir, arguments);
    EXPECT_NE(stopped.err.find("cannot write"), std::string::npos) << stopped.err;
    EXPECT_NE(lines_of(stopped.err).at(0).find(c.failed), std::string::npos) << stopped.err;
    expect_stopped_then_resumed(box, device.dir, history, arguments, stopped, [&] {
      device.free_all();
      history_device.free_all();
    });
  }
}

TEST(FileFaults, AResultsLineCutShortIsTakenBackAndTheSweepResumes) {
  // A file size limit cuts the write of a results line in two, as a full
  // disk does: no root needed.
  Sandbox box;
  const RunOutput stopped = run_at(box, box.dir, HistoryRun, "trap '' XFSZ; ulimit -f 4;");
  EXPECT_NE(lines_of(stopped.err).at(0).find("cannot write flockchase.csv"), std::string::npos) << stopped.err;
  EXPECT_LT(read_file(box.dir / "flockchase.csv").size(), 4096u);
  expect_stopped_then_resumed(box, box.dir, box.dir / "h.csv", HistoryRun, stopped, [] {});
}

// Kills a HistoryRun in the middle of a column: once the history holds a
// line of a column the results file does not.
bool kill_mid_column(const Sandbox& box) {
  const pid_t child = fork();
  if (child == 0) {
    const std::string command = box.command(HistoryRun);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto last_column = [](const std::string& text) {
    const std::vector<std::string> lines = lines_of(text);
    if (lines.size() < 2 || text.back() != '\n') return 0;
    return parse_integer<int>(lines.back().substr(0, lines.back().find(','))).value_or(0);
  };
  bool mid_column = false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!mid_column && std::chrono::steady_clock::now() < until) {
    const int results = last_column(box.file("flockchase.csv"));
    const int history = last_column(box.file("h.csv"));
    mid_column = results != 0 && history != 0 && history < results;
    if (!mid_column) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  // Still so on the disk, after the kill.
  const int results = last_column(box.file("flockchase.csv"));
  return mid_column && last_column(box.file("h.csv")) < results;
}

TEST(FileFaults, AResumedHistoryEqualsTheWholeRunsAfterAKillAndThroughALink) {
  const HistoryReference& reference = history_reference();
  for (const bool through_link : {false, true}) {
    SCOPED_TRACE(through_link ? "h.csv a link" : "h.csv a file");
    Sandbox box;
    bool killed = false;
    for (int attempt = 0; attempt < 5 && !killed; ++attempt) killed = kill_mid_column(box);
    ASSERT_TRUE(killed) << "could not stop the run in the middle of a column";
    const fs::path victim = box.dir / "victim.csv";
    if (through_link) {
      fs::rename(box.dir / "h.csv", victim);
      fs::create_symlink("victim.csv", box.dir / "h.csv");
    }
    const std::string victim_before = through_link ? read_file(victim) : "";
    const RunOutput resumed = run_at(box, box.dir, with(HistoryRun, {"--resume"}));
    EXPECT_EQ(resumed.exit_code, 0) << resumed.err;
    EXPECT_EQ(box.file("h.csv"), reference.box.file("h.csv"));
    EXPECT_EQ(results_without_seconds(box.file("flockchase.csv")),
              results_without_seconds(reference.box.file("flockchase.csv")));
    if (through_link) {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(box.dir / "h.csv")));
      EXPECT_EQ(read_file(victim), victim_before);
    }
  }
}

// A special file made in the sandbox: never the system's own.
void make_node(const fs::path& path, mode_t type, int major_number, int minor_number) {
  ASSERT_EQ(mknod(path.c_str(), type | 0666, makedev(major_number, minor_number)), 0)
      << path << ": " << std::strerror(errno);
}

fs::file_type type_of(const fs::path& path) { return fs::symlink_status(path).type(); }

// Whether device nodes can be made here (root, and not refused by a
// container).
bool can_make_nodes() {
  if (geteuid() != 0) return false;
  char pattern[] = "/tmp/flockchase-node-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  const bool made = mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  fs::remove_all(dir);
  return made;
}

TEST(FileFaults, DevicesAndFifosAreWrittenIntoOrRefusedNeverReplacedNorWaitedOn) {
  if (!can_make_nodes()) GTEST_SKIP() << "device nodes cannot be made here (not root, or refused)";
  // A finished segment and a stopped run to read from.
  Sandbox source;
  ASSERT_EQ(run_at(source, source.dir, with(ShortRun, {"--segment", "1/1"})).exit_code, 0);
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> prepare;
    std::vector<std::string> arguments;
    int exit_code;
    const char* said;  // in the one line on standard error, or "" for none
    const char* special;  // a file that must still be what it was made
    fs::file_type type;
  };
  auto fifo = [](const char* name) { return [name](const fs::path& d) { ASSERT_EQ(mkfifo((d / name).c_str(), 0666), 0); }; };
  auto device = [](const char* name, mode_t type, int minor_number) {
    return [=](const fs::path& d) { make_node(d / name, type, type == S_IFBLK ? 7 : 1, minor_number); };
  };
  auto segment = [&source](const char* fifo_name) {
    return [&source, fifo_name](const fs::path& d) {
      for (const char* ext : {".csv", ".checkpoint"})
        fs::copy_file(source.dir / ("flockchase.seg1-1" + std::string(ext)), d / ("flockchase.seg1-1" + std::string(ext)));
      fs::remove(d / fifo_name);
      ASSERT_EQ(mkfifo((d / fifo_name).c_str(), 0666), 0);
    };
  };
  auto resumable = [&source](const char* special, bool fifo_node) {
    return [&source, special, fifo_node](const fs::path& d) {
      write_text(d / "flockchase.csv", read_file(source.dir / "flockchase.seg1-1.csv"));
      fs::remove(d / special);
      if (fifo_node) {
        ASSERT_EQ(mkfifo((d / special).c_str(), 0666), 0);
      } else {
        make_node(d / special, S_IFCHR, 1, 5);  // a copy of /dev/zero
      }
    };
  };
  const Case cases[] = {
      {"--history a character device", device("null", S_IFCHR, 3), with(ShortRun, {"--history", "null"}), 0, "",
       "null", fs::file_type::character},
      {"--history a FIFO nobody reads", fifo("pipe"), with(ShortRun, {"--history", "pipe"}), 1,
       "a FIFO that no process reads", "pipe", fs::file_type::fifo},
      {"--history a block device", device("disk", S_IFBLK, 0), with(ShortRun, {"--history", "disk"}), 2,
       "block device", "disk", fs::file_type::block},
      {"the results file a FIFO", fifo("flockchase.csv"), ShortRun, 2, "flockchase.csv", "flockchase.csv",
       fs::file_type::fifo},
      {"the bitmap a character device", device("flockchase.bmp", S_IFCHR, 3), ShortRun, 2, "flockchase.bmp",
       "flockchase.bmp", fs::file_type::character},
      {"the lock a FIFO", fifo("flockchase.lock"), ShortRun, 2, "flockchase.lock", "flockchase.lock",
       fs::file_type::fifo},
      {"--resume, the checkpoint a FIFO", resumable("flockchase.checkpoint", true), with(ShortRun, {"--resume"}), 2,
       "FIFO", "flockchase.checkpoint", fs::file_type::fifo},
      {"--resume, the checkpoint /dev/zero", resumable("flockchase.checkpoint", false), with(ShortRun, {"--resume"}),
       2, "not a regular file", "flockchase.checkpoint", fs::file_type::character},
      {"--merge, a segment's results a FIFO", segment("flockchase.seg1-1.csv"), with(ShortRun, {"--merge"}), 2,
       "FIFO", "flockchase.seg1-1.csv", fs::file_type::fifo},
      {"--merge, a segment's checkpoint a FIFO", segment("flockchase.seg1-1.checkpoint"), with(ShortRun, {"--merge"}),
       2, "FIFO", "flockchase.seg1-1.checkpoint", fs::file_type::fifo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    write_text(box.dir / "flockchase.lock", "");
    if (std::string(c.special) == "flockchase.lock") fs::remove(box.dir / "flockchase.lock");
    c.prepare(box.dir);
    const auto before = snapshot(box.dir);
    // A gigabyte read into memory fails here. AddressSanitizer's shadow
    // memory needs more address space than any such bound leaves; there the
    // time limit alone catches a read that does not end.
    const RunOutput r = run_at(box, box.dir, c.arguments, AddressSanitized ? "" : "ulimit -v 600000;", 20);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    EXPECT_EQ(type_of(box.dir / c.special), c.type);
    if (*c.said) {
      EXPECT_EQ(line_count(r.err), 1u) << r.err;
      EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
      EXPECT_EQ(snapshot(box.dir), before) << "nothing is written";
    } else {
      EXPECT_TRUE(r.err.empty()) << r.err;
    }
  }
}

TEST(FileFaults, AHistoryIntoAFifoReachesItsReader) {
  Sandbox box;
  ASSERT_EQ(mkfifo((box.dir / "pipe").c_str(), 0666), 0);
  const pid_t reader = fork();
  if (reader == 0) {
    const std::string command = "exec timeout -s KILL 60 cat '" + (box.dir / "pipe").string() + "' > '" +
                                (box.dir / "read.txt").string() + "'";
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // The run waits for nobody: it refuses a FIFO without a reader, so wait
  // until the reader has it open.
  RunOutput r;
  for (int attempt = 0; attempt < 200; ++attempt) {
    r = run_at(box, box.dir, with(ShortRun, {"--history", "pipe"}));
    if (r.exit_code != 1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  waitpid(reader, nullptr, 0);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(type_of(box.dir / "pipe"), fs::file_type::fifo);
  const std::vector<std::string> lines = lines_of(read_file(box.dir / "read.txt"));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "column,measured_passes,running_exponent,extrapolated,spread");
  EXPECT_EQ(lines[1].substr(0, 8), "849,999,");
}

TEST(FileFaults, AnOutputNamedLikeOneOfTheRunsOwnFilesIsRefusedBeforeAnythingRuns) {
  const char* const histories[] = {"flockchase.lock",       "./flockchase.csv", "link-to-lock",
                                   "sub/../flockchase.bmp", "flockchase.png",   "flockchase.checkpoint",
                                   "flockchase.seg1-2.csv"};
  for (const char* history : histories) {
    SCOPED_TRACE(history);
    Sandbox box;
    write_text(box.dir / "flockchase.lock", "");
    write_text(box.dir / "flockchase.seg1-2.csv", "a segment's results\n");
    fs::create_symlink("flockchase.lock", box.dir / "link-to-lock");
    fs::create_directory(box.dir / "sub");
    const auto before = snapshot(box.dir);
    const RunOutput r = run_at(box, box.dir, with(ShortRun, {"--history", history}));
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_EQ(line_count(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("one of the run's own files"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(snapshot(box.dir), before);
  }
}

TEST(FileFaults, ExitCodesOfFilesThatCannotBeWritten) {
  // 1: a file could not be written, here one the run starts with, so
  // nothing runs.
  struct Case {
    const char* name;
    std::function<fs::path(Sandbox&)> prepare;  // the folder to run in
    std::vector<std::string> arguments;
    const char* said;
  };
  const Case cases[] = {
      {"a folder that cannot be written",
       [](Sandbox& b) {
         fs::create_directory(b.dir / "ro");
         if (geteuid() == 0) {
           // Root writes through permissions; a read-only mount stops it.
           if (mount("tmpfs", (b.dir / "ro").c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0) return fs::path();
         } else {
           fs::permissions(b.dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
         }
         return b.dir / "ro";
       },
       ShortRun, "cannot open the lock file"},
      {"a history in a folder that does not exist", [](Sandbox& b) { return b.dir; },
       with(ShortRun, {"--history", "no/such/h.csv"}), "cannot write the history file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    const fs::path cwd = c.prepare(box);
    if (cwd.empty()) continue;  // a read-only mount refused here
    const RunOutput r = run_at(box, cwd, c.arguments);
    if (cwd != box.dir) umount2(cwd.c_str(), MNT_DETACH);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(line_count(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_FALSE(fs::exists(cwd / "flockchase.csv"));
  }
}

}  // namespace
