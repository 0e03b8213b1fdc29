#include "canvas/bitmap.hpp"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/replace_file.hpp"
#include "canvas_test_support.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> directory_entries(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A scratch directory removed with the test.
struct ScratchDirectory {
  std::string path;
  ScratchDirectory() {
    char name[] = "/tmp/canvas-bitmap-XXXXXX";
    path = mkdtemp(name);
  }
  ~ScratchDirectory() {
    chmod(path.c_str(), 0700);
    for (const std::string& entry : directory_entries(path)) unlink((path + "/" + entry).c_str());
    rmdir(path.c_str());
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

TEST(BitmapLayout, HeaderOfATwoByTwoWhiteSurface) {
  const Bytes file = bitmap_encode(make_raster(2, 2, White));
  const Bytes expected = {
      'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                   // file header
      40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,                 // size, width, height, planes, bits
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // compression .. important colours
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0,                          // bottom row and its padding
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0,                          // top row
  };
  EXPECT_EQ(file, expected);
}

TEST(BitmapLayout, RowStrideAndFileSize) {
  const struct {
    int width, height;
    std::int64_t stride, file_size;
  } cases[] = {
      {1, 1, 4, 58}, {2, 3, 8, 78}, {3, 1, 12, 66}, {4, 2, 12, 78}, {5, 1, 16, 70}, {850, 624, 2552, 1592502},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bitmap_row_stride(c.width), c.stride) << c.width;
    const Bytes file = bitmap_encode(make_raster(c.width, c.height, 0x123456));
    EXPECT_EQ(static_cast<std::int64_t>(file.size()), c.file_size) << c.width;
    EXPECT_EQ(file[2] | file[3] << 8 | file[4] << 16 | file[5] << 24, c.file_size) << c.width;
    // Padding bytes are zero, pixel bytes blue, green, red.
    for (int row = 0; row < c.height; ++row) {
      const std::uint8_t* r = file.data() + 54 + row * c.stride;
      for (int x = 0; x < c.width; ++x) {
        ASSERT_EQ(r[3 * x], 0x12);
        ASSERT_EQ(r[3 * x + 1], 0x34);
        ASSERT_EQ(r[3 * x + 2], 0x56);
      }
      for (std::int64_t i = 3 * c.width; i < c.stride; ++i) ASSERT_EQ(r[i], 0) << c.width;
    }
  }
}

TEST(BitmapLayout, TopLeftPixelIsAtTheStartOfTheLastRow) {
  Raster raster = make_raster(3, 4, 0);
  raster.at(0, 0) = 0x00112233;  // red 0x33, green 0x22, blue 0x11
  raster.at(2, 3) = 0x00ABCDEF;  // bottom right
  const Bytes file = bitmap_encode(raster);
  const std::size_t last_row = 54 + 12 * 3;
  EXPECT_EQ(file[last_row], 0x11);
  EXPECT_EQ(file[last_row + 1], 0x22);
  EXPECT_EQ(file[last_row + 2], 0x33);
  EXPECT_EQ(file[54 + 6], 0xAB);  // first stored row is the bottom one
  EXPECT_EQ(file[54 + 7], 0xCD);
  EXPECT_EQ(file[54 + 8], 0xEF);
}

TEST(CanvasSaveBmp, WritesTheSurface) {
  ScratchDirectory dir;
  AttachedCanvas canvas(5, 3);
  canvas_set_pixel(0, 0, static_cast<int>(Red));
  canvas_set_pixel(4, 2, static_cast<int>(Blue));
  canvas_save_bmp(dir.file("out.bmp"));
  EXPECT_EQ(read_file(dir.file("out.bmp")), bitmap_encode(canvas.raster()));
  EXPECT_EQ(directory_entries(dir.path), std::vector<std::string>{"out.bmp"});
}

TEST(CanvasSaveBmp, ReplacesLongerAndShorterFiles) {
  ScratchDirectory dir;
  AttachedCanvas canvas(2, 2);
  for (std::size_t old_size : {5000u, 10u}) {
    write_file(dir.file("chart.bmp"), Bytes(old_size, 0xAA));
    canvas_save_bmp(dir.file("chart.bmp"));
    EXPECT_EQ(read_file(dir.file("chart.bmp")), bitmap_encode(canvas.raster())) << old_size;
    EXPECT_EQ(read_file(dir.file("chart.bmp")).size(), 70u);
  }
}

TEST(CanvasSaveBmp, KeepsThePermissionsOfTheFileItReplaces) {
  ScratchDirectory dir;
  AttachedCanvas canvas(2, 2);
  write_file(dir.file("kept.bmp"), Bytes(3, 1));
  chmod(dir.file("kept.bmp").c_str(), 0640);
  canvas_save_bmp(dir.file("kept.bmp"));
  struct stat st {};
  ASSERT_EQ(stat(dir.file("kept.bmp").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_size, 70);
}

TEST(CanvasSaveBmp, ALinkIsReplacedByAFileWithThePermissionsOfTheFileItPointedTo) {
  ScratchDirectory dir;
  AttachedCanvas canvas(2, 2);
  write_file(dir.file("target.bmp"), Bytes(3, 1));
  chmod(dir.file("target.bmp").c_str(), 0640);
  ASSERT_EQ(symlink("target.bmp", dir.file("link.bmp").c_str()), 0);
  canvas_save_bmp(dir.file("link.bmp"));
  struct stat st {};
  ASSERT_EQ(lstat(dir.file("link.bmp").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(read_file(dir.file("target.bmp")), Bytes(3, 1));
}

TEST(CanvasSaveBmp, EmptyNameOrNoCanvasDoesNothing) {
  ScratchDirectory dir;
  {
    AttachedCanvas canvas(2, 2);
    testing::internal::CaptureStderr();
    canvas_save_bmp("");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
  thread_record().current_target = 0;
  canvas_save_bmp(dir.file("none.bmp"));
  EXPECT_TRUE(directory_entries(dir.path).empty());
}

TEST(CanvasSaveBmp, MissingDirectoryIsReportedOnOneLine) {
  ScratchDirectory dir;
  AttachedCanvas canvas(2, 2);
  const std::string target = dir.file("no/such/dir/chart.bmp");
  testing::internal::CaptureStderr();
  canvas_save_bmp(target);
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find(target), std::string::npos) << report;
  EXPECT_NE(report.find("No such file or directory"), std::string::npos) << report;
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;
  EXPECT_EQ(report.back(), '\n');
}

TEST(CanvasSaveBmp, TargetThatIsADirectoryIsLeftAlone) {
  ScratchDirectory dir;
  AttachedCanvas canvas(2, 2);
  ASSERT_EQ(mkdir(dir.file("taken").c_str(), 0700), 0);
  testing::internal::CaptureStderr();
  canvas_save_bmp(dir.file("taken"));
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find("taken"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat(dir.file("taken").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(directory_entries(dir.path), std::vector<std::string>{"taken"});
  rmdir(dir.file("taken").c_str());
}

// A write that fails half-way (file size limit) must not touch the old file.
TEST(CanvasSaveBmp, FailedWriteLeavesTheOldFile) {
  ScratchDirectory dir;
  const Bytes old(300, 0x5A);
  write_file(dir.file("chart.bmp"), old);
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(pipe_fds[1], STDERR_FILENO);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    const WindowHandle window = canvas_create_offscreen(100, 100);
    canvas_attach(window, 0, true);
    canvas_save_bmp(dir.file("chart.bmp"));
    _exit(0);
  }
  close(pipe_fds[1]);
  std::string report;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) report.append(buffer, static_cast<std::size_t>(n));
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(read_file(dir.file("chart.bmp")), old);
  EXPECT_EQ(directory_entries(dir.path), std::vector<std::string>{"chart.bmp"});  // no temporary left
  EXPECT_NE(report.find(dir.file("chart.bmp")), std::string::npos) << report;
  EXPECT_NE(report.find("File too large"), std::string::npos) << report;
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;
}

TEST(CanvasSaveBmp, UnwritableDirectoryLeavesTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere; the failed-write test covers this case";
  ScratchDirectory dir;
  const Bytes old(300, 0x5A);
  write_file(dir.file("chart.bmp"), old);
  chmod(dir.path.c_str(), 0500);
  AttachedCanvas canvas(2, 2);
  testing::internal::CaptureStderr();
  canvas_save_bmp(dir.file("chart.bmp"));
  const std::string report = testing::internal::GetCapturedStderr();
  chmod(dir.path.c_str(), 0700);
  EXPECT_EQ(read_file(dir.file("chart.bmp")), old);
  EXPECT_NE(report.find("Permission denied"), std::string::npos) << report;
}

TEST(ReplaceFile, NameEndingInASlashIsRefused) {
  std::string reason;
  EXPECT_FALSE(replace_file("/tmp/", Bytes{1, 2}, reason));
  EXPECT_EQ(reason, "Is a directory");
}

}  // namespace
