// The picvec program run as flockchase runs it: a real process in a folder
// holding the bitmap, its PNG read back by netpbm.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include <filesystem>

#include "bmp_samples.hpp"
#include "process_support.hpp"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const std::string Usage = "usage: picvec [--help] [--] NAME\n";

std::size_t line_count(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// The PNG at `png` as netpbm reads it must be `expected`.
void expect_png(const fs::path& png, const RgbRaster& expected, const std::string& label) {
  std::string why;
  const auto read = png_read_by_netpbm(png, why);
  ASSERT_TRUE(read.has_value()) << label << ": " << why;
  EXPECT_EQ(read->width, expected.width) << label;
  EXPECT_EQ(read->height, expected.height) << label;
  EXPECT_TRUE(*read == expected) << label << ": pixels differ";
}

TEST(PicvecProgram, ConvertsTheChartFlockchaseSaves) {
  TempDir dir;
  const RgbRaster chart = chart_raster(850, 624);
  const Bytes bmp = make_bmp(chart);
  write_file(dir.path / "flockchase.bmp", bmp);
  const ProcessResult result = run_picvec({"flockchase"}, {.directory = dir.path});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(folder_names(dir.path), (Names{"flockchase.bmp", "flockchase.png"}));
  EXPECT_EQ(read_file(dir.path / "flockchase.bmp"), bmp);
  expect_png(dir.path / "flockchase.png", chart, "chart");
}

struct ShapeCase {
  const char* name;
  BmpShape shape;
  std::uint32_t width;
  std::uint32_t height;
};

// Every variant, first read by netpbm's bmptopnm to show that the test's own
// bitmap writer is right, then converted and read back through pngtopnm.
TEST(PicvecProgram, ConvertsEveryVariantAsNetpbmReadsIt) {
  const ShapeCase cases[] = {
      {"bottom_up", {}, 5, 3},
      {"one_pixel", {}, 1, 1},
      {"width_2", {}, 2, 4},
      {"width_4", {}, 4, 2},
      {"width_7", {}, 7, 9},
      {"top_down", {.top_down = true}, 6, 5},
      {"v4_header", {.info_size = 108}, 3, 3},
      {"v5_header", {.info_size = 124}, 9, 2},
      {"v5_top_down", {.top_down = true, .info_size = 124}, 5, 4},
      {"core_header", {.info_size = 12}, 5, 3},
      {"gap_and_image_size", {.gap = 8, .image_size_field = true}, 3, 5},
      {"trailing_and_padding", {.trailing = 4, .padding = 0x77}, 5, 2},
      {"wide_row", {}, 32768, 1},
  };
  TempDir dir;
  for (const ShapeCase& c : cases) {
    const RgbRaster raster = noise_raster(c.width, c.height, c.width * 31 + c.height);
    const fs::path bmp = dir.path / (std::string(c.name) + ".bmp");
    write_file(bmp, make_bmp(raster, c.shape));
    std::string why;
    const auto netpbm = bmp_read_by_netpbm(bmp, why);
    ASSERT_TRUE(netpbm.has_value()) << c.name << ": " << why;
    ASSERT_TRUE(*netpbm == raster) << c.name << ": the test's bitmap writer disagrees with bmptopnm";

    const ProcessResult result = run_picvec({c.name}, {.directory = dir.path});
    EXPECT_EQ(result.exit_code, 0) << c.name << ": " << result.err;
    EXPECT_EQ(result.err, "") << c.name;
    expect_png(dir.path / (std::string(c.name) + ".png"), raster, c.name);
  }
}

TEST(PicvecProgram, RejectsEveryBrokenBitmapLeavingNoFile) {
  const auto cases = broken_bitmaps();
  ASSERT_GE(cases.size(), 20u);
  for (const BrokenBitmap& c : cases) {
    TempDir dir;
    write_file(dir.path / (c.name + ".bmp"), c.bytes);
    const ProcessResult result = run_picvec({c.name}, {.directory = dir.path});
    EXPECT_EQ(result.exit_code, 1) << c.name;
    EXPECT_EQ(result.out, "") << c.name;
    EXPECT_EQ(line_count(result.err), 1u) << c.name << ": " << result.err;
    EXPECT_EQ(result.err.rfind("picvec: " + c.name + ".bmp: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(c.expected), std::string::npos) << c.name << ": " << result.err;
    EXPECT_EQ(folder_names(dir.path), Names{c.name + ".bmp"}) << c.name;
  }
}

TEST(PicvecProgram, FilesThatCannotBeReadAreReported) {
  TempDir dir;
  fs::create_directory(dir.path / "folder.bmp");
  ASSERT_EQ(mkfifo((dir.path / "pipe.bmp").c_str(), 0600), 0);
  struct Case {
    std::string name;
    std::string expected;
  };
  const Case cases[] = {
      {"missing", "picvec: missing.bmp: cannot open: No such file or directory\n"},
      {"folder", "picvec: folder.bmp: is a directory, not a bitmap file\n"},
      {"pipe", "picvec: pipe.bmp: is not a regular file\n"},
      {"nowhere/chart", "picvec: nowhere/chart.bmp: cannot open: No such file or directory\n"},
      // Control bytes and bytes that are not UTF-8 escaped: still one line.
      {"new\nline\x1b[2J\xe9", "picvec: new\\nline\\x1b[2J\\xe9.bmp: cannot open: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult result = run_picvec({c.name}, {.directory = dir.path});
    EXPECT_EQ(result.exit_code, 1) << c.name;
    EXPECT_EQ(result.err, c.expected);
  }
  EXPECT_EQ(folder_names(dir.path), (Names{"folder.bmp", "pipe.bmp"}));
}

TEST(PicvecProgram, UsageErrorsExitWithTwo) {
  TempDir dir;
  write_file(dir.path / "a.bmp", make_bmp(noise_raster(2, 2, 1)));
  struct Case {
    std::vector<std::string> arguments;
    std::string first_line;
  };
  const Case cases[] = {
      {{}, "picvec: missing NAME (the bitmap's name without .bmp)\n"},
      {{""}, "picvec: NAME is empty\n"},
      {{"a", "a"}, "picvec: too many arguments: give one NAME\n"},
      {{"--quiet", "a"}, "picvec: unknown option '--quiet'\n"},
      {{"-a"}, "picvec: unknown option '-a'\n"},
      {{"--qu\niet", "a"}, "picvec: unknown option '--qu\\niet'\n"},
      // Each option at most once, the help too.
      {{"--help", "--help"}, "picvec: --help is given more than once\n"},
      {{"-h", "a", "--help"}, "picvec: --help is given more than once\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult result = run_picvec(c.arguments, {.directory = dir.path});
    EXPECT_EQ(result.exit_code, 2) << c.first_line;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.first_line + Usage);
  }
  EXPECT_EQ(folder_names(dir.path), Names{"a.bmp"});
}

TEST(PicvecProgram, HelpGoesToStandardOutput) {
  TempDir dir;
  const ProcessResult result = run_picvec({"--help"}, {.directory = dir.path});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out.rfind(Usage, 0), 0u);
  EXPECT_NE(result.out.find("NAME.png"), std::string::npos);
  EXPECT_TRUE(folder_names(dir.path).empty());
}

TEST(PicvecProgram, NamesEndingInBmpAndPathsAndDashes) {
  TempDir dir;
  fs::create_directory(dir.path / "sub");
  const RgbRaster a = noise_raster(3, 2, 11);
  const RgbRaster b = noise_raster(2, 3, 12);
  const RgbRaster c = noise_raster(4, 1, 13);
  write_file(dir.path / "chart.bmp", make_bmp(a));
  write_file(dir.path / "sub" / "plot.bmp", make_bmp(b));
  write_file(dir.path / "-dash.bmp", make_bmp(c));
  EXPECT_EQ(run_picvec({"chart.bmp"}, {.directory = dir.path}).exit_code, 0);
  EXPECT_EQ(run_picvec({"sub/plot"}, {.directory = dir.path}).exit_code, 0);
  EXPECT_EQ(run_picvec({"--", "-dash"}, {.directory = dir.path}).exit_code, 0);
  EXPECT_EQ(run_picvec({(dir.path / "sub" / "plot").string()}, {}).exit_code, 0);
  expect_png(dir.path / "chart.png", a, "chart.bmp");
  expect_png(dir.path / "sub" / "plot.png", b, "sub/plot");
  expect_png(dir.path / "-dash.png", c, "-dash");
  EXPECT_EQ(folder_names(dir.path), (Names{"-dash.bmp", "-dash.png", "chart.bmp", "chart.png", "sub"}));
  EXPECT_EQ(folder_names(dir.path / "sub"), (Names{"plot.bmp", "plot.png"}));
}

TEST(PicvecProgram, ReplacesAnEarlierPngOnlyWhenTheNewOneIsComplete) {
  TempDir dir;
  const Bytes earlier = {'o', 'l', 'd'};
  write_file(dir.path / "chart.png", earlier);

  // A broken bitmap leaves the earlier PNG alone.
  write_file(dir.path / "chart.bmp", broken_bitmaps().at(6).bytes);
  EXPECT_EQ(run_picvec({"chart"}, {.directory = dir.path}).exit_code, 1);
  EXPECT_EQ(read_file(dir.path / "chart.png"), earlier);

  // So does a PNG that cannot be written in full: the file size limit makes
  // the write fail partway.
  const RgbRaster noise = noise_raster(300, 200, 3);
  write_file(dir.path / "chart.bmp", make_bmp(noise));
  const ProcessResult limited = run_picvec({"chart"}, {.directory = dir.path, .file_size_limit = 4096});
  EXPECT_EQ(limited.exit_code, 1);
  EXPECT_EQ(limited.signal, 0);
  EXPECT_EQ(limited.err, "picvec: chart.png: cannot write: File too large\n");
  EXPECT_EQ(read_file(dir.path / "chart.png"), earlier);
  EXPECT_EQ(folder_names(dir.path), (Names{"chart.bmp", "chart.png"}));

  // A good conversion replaces it.
  const ProcessResult good = run_picvec({"chart"}, {.directory = dir.path});
  EXPECT_EQ(good.exit_code, 0) << good.err;
  expect_png(dir.path / "chart.png", noise, "replaced");
  EXPECT_EQ(folder_names(dir.path), (Names{"chart.bmp", "chart.png"}));
}

TEST(PicvecProgram, APngPathThatIsAFolderIsReportedAndTheTemporaryRemoved) {
  TempDir dir;
  write_file(dir.path / "chart.bmp", make_bmp(noise_raster(4, 4, 2)));
  fs::create_directory(dir.path / "chart.png");
  const ProcessResult result = run_picvec({"chart"}, {.directory = dir.path});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "picvec: chart.png: cannot write: Is a directory\n");
  EXPECT_EQ(folder_names(dir.path), (Names{"chart.bmp", "chart.png"}));
  EXPECT_TRUE(fs::is_empty(dir.path / "chart.png"));
}

TEST(PicvecProgram, APngPathThatIsAFifoOrADeviceIsNeverReplaced) {
  struct Case {
    const char* what;
    mode_t type;
    fs::file_type kind;
  };
  const Case cases[] = {{"a FIFO", S_IFIFO, fs::file_type::fifo},
                        {"a character device (a copy of /dev/null)", S_IFCHR, fs::file_type::character}};
  for (const Case& c : cases) {
    if (c.type == S_IFCHR && geteuid() != 0) continue;  // device nodes need root
    TempDir dir;
    write_file(dir.path / "chart.bmp", make_bmp(noise_raster(4, 4, 2)));
    ASSERT_EQ(mknod((dir.path / "chart.png").c_str(), c.type | 0666, c.type == S_IFCHR ? makedev(1, 3) : 0), 0);
    const ProcessResult result = run_picvec({"chart"}, {.directory = dir.path});
    EXPECT_EQ(result.exit_code, 1) << c.what;
    EXPECT_EQ(result.err, "picvec: chart.png: cannot write: not a regular file, and never replaced by one\n") << c.what;
    EXPECT_EQ(fs::symlink_status(dir.path / "chart.png").type(), c.kind) << c.what;
    EXPECT_EQ(folder_names(dir.path), (Names{"chart.bmp", "chart.png"})) << c.what;
  }
}

TEST(PicvecProgram, ThePngGetsTheUsualPermissions) {
  TempDir dir;
  write_file(dir.path / "chart.bmp", make_bmp(noise_raster(4, 4, 2)));
  for (auto [mask, mode] : {std::pair{022u, 0644u}, std::pair{027u, 0640u}, std::pair{0u, 0666u}}) {
    fs::remove(dir.path / "chart.png");
    ASSERT_EQ(run_picvec({"chart"}, {.directory = dir.path, .umask = mask}).exit_code, 0);
    struct stat info {};
    ASSERT_EQ(stat((dir.path / "chart.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, mode) << std::oct << mask;
  }
  // A PNG that is replaced keeps the permissions it was given.
  ASSERT_EQ(chmod((dir.path / "chart.png").c_str(), 0600), 0);
  ASSERT_EQ(run_picvec({"chart"}, {.directory = dir.path, .umask = 022}).exit_code, 0);
  struct stat info {};
  ASSERT_EQ(stat((dir.path / "chart.png").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// The rows are read and written one at a time: a bitmap far larger than the
// memory picvec may use converts all the same. A sparse all-black file of
// 8000 x 8000 pixels (192 MB) under a 64 MB address-space limit.
TEST(PicvecProgram, MemoryDoesNotGrowWithTheImage) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory needs more address space than the limit this test sets";
#endif
  TempDir dir;
  constexpr std::uint32_t side = 8000;
  constexpr std::uint32_t stride = side * 3;
  std::vector<std::uint8_t> header(54, 0);
  auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) header[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  header[0] = 'B';
  header[1] = 'M';
  put(2, 54 + stride * side, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, side, 4);
  put(22, side, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  write_file(dir.path / "huge.bmp", header);
  fs::resize_file(dir.path / "huge.bmp", 54 + std::uint64_t{stride} * side);
  const ProcessResult result = run_picvec({"huge"}, {.directory = dir.path, .memory_limit = std::uint64_t{64} << 20});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_TRUE(result.err.empty()) << result.err;
  EXPECT_GT(fs::file_size(dir.path / "huge.png"), 0u);
}

// A conversion ended by a signal while it writes leaves no temporary file.
// The image is large enough that encoding takes a good fraction of a second,
// so the temporary file is seen and the signal sent well before the end.
TEST(PicvecProgram, ATerminatedConversionLeavesNoTemporaryFile) {
  TempDir dir;
  write_file(dir.path / "chart.bmp", make_bmp(noise_raster(2000, 2000, 4)));
  const std::string directory = dir.path.string();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd < 0 || dup2(null_fd, 0) < 0 || dup2(null_fd, 1) < 0 || dup2(null_fd, 2) < 0) _exit(126);
    if (chdir(directory.c_str()) != 0) _exit(126);
    execl(PICVEC_BINARY, PICVEC_BINARY, "chart", static_cast<char*>(nullptr));
    _exit(127);
  }
  bool seen = false;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!seen && std::chrono::steady_clock::now() < give_up) {
    for (const std::string& name : folder_names(dir.path))
      if (name.rfind(".chart.png.", 0) == 0) seen = true;
    if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(seen) << "no temporary file appeared";
  ASSERT_TRUE(WIFSIGNALED(status)) << "picvec finished before the signal; make the image larger";
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(folder_names(dir.path), Names{"chart.bmp"});
}

}  // namespace
