// End-to-end runs of the real flockchase binary in a temporary directory,
// with a stand-in converter first on PATH that records how it was called.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>

#include "app/run_support.hpp"

namespace {

constexpr unsigned White = 0xFFFFFF;
constexpr unsigned Grey = 0x808080;

const std::vector<std::string> ShortRun = {"--headless", "--step", "100", "--time-limit", "5"};
const int ShortRunColumns[] = {849, 749, 649, 549, 449, 349, 249, 149};
// (x - 50) / 800 to four places; the exact ties (0.99875, ...) go to the even digit.
const char* const ShortRunDampings[] = {"  0.9988", "  0.8738", "  0.7488", "  0.6238",
                                        "  0.4988", "  0.3738", "  0.2488", "  0.1238"};

TEST(Run, ShortHeadlessRunReportsSavesAndConverts) {
  Sandbox box;
  RunOutput r = box.run(ShortRun);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 9u) << r.out;
  // Damping, exponent, the plus-minus sign (UTF-8, two bytes), spread and
  // mean divergence, each padded by its mask's literal spaces; larger values
  // just take more digits, so the widths are checked through the pattern.
  // How large the values get depends on how far a column came in its time.
  const std::regex report_line(
      "(  [01]\\.\\d{4})(?:   |  -)(?:0|[1-9]\\d*)\\.\\d{4}"
      "\xC2\xB1(?:0|[1-9]\\d*)\\.\\d{4}(?:  | -)(?:0|[1-9]\\d*)\\.\\d{4}");
  std::vector<double> exponents;
  for (int i = 0; i < 8; ++i) {
    const std::string& line = lines[i];
    std::smatch fields;
    ASSERT_TRUE(std::regex_match(line, fields, report_line)) << line;
    EXPECT_EQ(fields[1], ShortRunDampings[i]) << line;
    exponents.push_back(std::stod(line.substr(8)));
  }
  EXPECT_EQ(lines[8], "Done!");

  const std::vector<std::string> calls = lines_of(read_file(box.dir / "picvec.calls"));
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], "1");
  EXPECT_EQ(calls[1], "flockchase");
  EXPECT_EQ(calls[2], "1592502");  // the bitmap was complete when the converter started

  Bitmap bmp = load_bitmap(box.dir / "flockchase.bmp");
  ASSERT_EQ(bmp.bytes.size(), 1592502u);
  ASSERT_EQ(bmp.width, 850);
  ASSERT_EQ(bmp.height, 624);
  // Border on x = 50 and 849, y = 0 and 600.
  for (int y = 0; y <= 600; ++y) {
    ASSERT_EQ(bmp.pixel(50, y), Black) << y;
    ASSERT_EQ(bmp.pixel(849, y), Black) << y;
  }
  for (int x = 50; x <= 849; ++x) {
    ASSERT_EQ(bmp.pixel(x, 0), Black) << x;
    ASSERT_EQ(bmp.pixel(x, 600), Black) << x;
  }
  // Ticks: top and bottom at 50 + 80 i, left and right at 60 i.
  for (int i = 1; i <= 9; ++i) {
    EXPECT_EQ(bmp.pixel(50 + 80 * i, 10), Black) << i;
    EXPECT_EQ(bmp.pixel(50 + 80 * i, 590), Black) << i;
    EXPECT_EQ(bmp.pixel(60, 60 * i), Black) << i;
    EXPECT_EQ(bmp.pixel(840, 60 * i), Black) << i;
  }
  // The dotted grey zero line on row 300: grey dots with white between.
  int grey = 0, white = 0;
  for (int x = 100; x < 800; ++x) {
    if (bmp.pixel(x, 300) == Grey) ++grey;
    if (bmp.pixel(x, 300) == White) ++white;
  }
  EXPECT_GT(grey, 200);
  EXPECT_GT(white, 200);
  // Labels: ink left of the plot area at the top and bottom, and below it.
  auto has_ink = [&](int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (bmp.pixel(x, y) != White) return true;
    return false;
  };
  EXPECT_TRUE(has_ink(0, 0, 45, 20));      // 2.0
  EXPECT_TRUE(has_ink(0, 580, 45, 600));   // -2.0
  EXPECT_TRUE(has_ink(20, 280, 45, 310));  // the lambda
  EXPECT_TRUE(has_ink(50, 601, 70, 624));  // 0
  EXPECT_TRUE(has_ink(441, 601, 470, 624));  // bo
  EXPECT_TRUE(has_ink(810, 601, 850, 624));  // 1.0
  // The curve passes through each evaluated column at its exponent's row;
  // the last point ends a line, whose end pixel is not drawn.
  for (int i = 0; i < 7; ++i) {
    const int row = static_cast<int>(std::lround(300 * (1 - exponents[i] / 2)));
    if (row < 1 || row > 599) continue;
    bool found = false;
    for (int y = row - 1; y <= row + 1; ++y) found = found || bmp.pixel(ShortRunColumns[i], y) == Black;
    EXPECT_TRUE(found) << "column " << ShortRunColumns[i] << " row " << row;
  }
}

TEST(Run, BadOptionsExitWithTwoAndWriteNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {"--step", "0"}, {"--time-limit", "soon"}, {"--nope"}, {"--step"}, {"--passes", "0"}, {"--target-error", "-1"},
  };
  for (const auto& arguments : cases) {
    Sandbox box;
    RunOutput r = box.run(arguments);
    EXPECT_EQ(r.exit_code, 2) << arguments[0];
    EXPECT_NE(r.err.find("flockchase: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("usage: flockchase"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(fs::exists(box.dir / "flockchase.bmp"));
    EXPECT_FALSE(fs::exists(box.dir / "picvec.calls"));
  }
}

TEST(Run, HelpAndVersion) {
  Sandbox box;
  RunOutput help = box.run({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--time-limit SECONDS"), std::string::npos);
  RunOutput version = box.run({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("flockchase ", 0), 0u);
  EXPECT_FALSE(fs::exists(box.dir / "flockchase.bmp"));
}

}  // namespace
