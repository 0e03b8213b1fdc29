// flockchase-plot as a spawned process; its pictures read back by netpbm's
// pngtopnm, xmllint, pdfinfo and pdftotext (its faults are in
// plot_faults_test.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "plot_support.hpp"
#include "process_support.hpp"
#include "tools/plot/arguments.hpp"
#include "tools/plot/palette.hpp"
#include "tools/plot/render.hpp"
#include "tools/plot/series.hpp"

namespace fs = std::filesystem;

namespace {

// The frames computed in this process use Cairo's text; give its caches
// back at the end so that leak checks see only real leaks.
struct ReleaseTextCaches : ::testing::Environment {
  void TearDown() override { release_text_caches(); }
};
[[maybe_unused]] ::testing::Environment* const release_at_end =
    ::testing::AddGlobalTestEnvironment(new ReleaseTextCaches);

struct Pixel {
  int r, g, b;
};

Pixel pixel_at(const RgbRaster& image, int x, int y) {
  if (x < 0 || y < 0 || x >= static_cast<int>(image.width) || y >= static_cast<int>(image.height)) return {255, 255, 255};
  const std::size_t at = (static_cast<std::size_t>(y) * image.width + static_cast<std::size_t>(x)) * 3;
  return {image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

// The first file's blue, at least about a third covering a pixel.
bool is_blue(Pixel p) { return p.b - p.r > 60; }
bool is_white(Pixel p) { return p.r > 230 && p.g > 230 && p.b > 230; }

TEST(PlotPicture, PngHasTheBarsAndPointsWhereTheMappingPutsThem) {
  TempDir box;
  write_text(box.path / "known.csv", Known);
  const std::vector<std::string> arguments{"--output", "plot.png", "known.csv"};
  const ProcessResult run = run_plot(arguments, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::string why;
  const std::optional<RgbRaster> image = png_read_by_netpbm(box.path / "plot.png", why);
  ASSERT_TRUE(image) << why;
  ASSERT_EQ(image->width, 960u);
  ASSERT_EQ(image->height, 600u);

  // The frame the program uses, from the same options and file.
  PlotInvocation invocation = parse_plot_arguments(arguments);
  PlotSeries series;
  std::string error;
  ASSERT_TRUE(load_series((box.path / "known.csv").string(), series, error)) << error;
  series.name = "known.csv";  // as the program names it in the legend
  const PlotFrame f = plot_frame(invocation.options, {series});
  ASSERT_LT(f.y.low, -0.35);
  ASSERT_GT(f.y.high, 1.0);

  struct Bar {
    double damping, low, high;
  };
  for (const Bar& bar : {Bar{0.25, 0.3, 0.7}, Bar{0.5, -0.35, -0.15}}) {
    const int x = static_cast<int>(std::floor(f.x_at(bar.damping)));
    std::vector<int> rows;
    for (int y = static_cast<int>(f.top) + 2; y < static_cast<int>(f.bottom) - 1; ++y)
      if (is_blue(pixel_at(*image, x - 1, y)) || is_blue(pixel_at(*image, x, y)) || is_blue(pixel_at(*image, x + 1, y)))
        rows.push_back(y);
    ASSERT_FALSE(rows.empty()) << "no bar at damping " << bar.damping;
    const double top = f.y_at(bar.high);
    const double bottom = f.y_at(bar.low);
    EXPECT_LE(std::abs(rows.front() + 0.5 - top), 1.0) << "bar top at damping " << bar.damping;
    EXPECT_LE(std::abs(rows.back() + 0.5 - bottom), 1.0) << "bar bottom at damping " << bar.damping;
    EXPECT_EQ(rows.back() - rows.front() + 1, static_cast<int>(rows.size())) << "the bar has gaps";
    EXPECT_GT(bottom - top, 30) << "the bar must be long enough to tell";
  }
  // Filled where a standard error exists, hollow where none does.
  const auto centre = [&](double damping, double exponent) {
    return pixel_at(*image, static_cast<int>(std::floor(f.x_at(damping))), static_cast<int>(std::floor(f.y_at(exponent))));
  };
  EXPECT_TRUE(is_blue(centre(0.5, -0.25)));
  EXPECT_TRUE(is_white(centre(0.75, 1.0)));
  int ring = 0;
  for (int dx = -6; dx <= 6; ++dx)
    ring += is_blue(pixel_at(*image, static_cast<int>(std::floor(f.x_at(0.75))) + dx, static_cast<int>(std::floor(f.y_at(1.0)))));
  EXPECT_GE(ring, 2) << "the hollow marker's outline";
  // No bar above or below the hollow point.
  EXPECT_FALSE(is_blue(centre(0.75, 0.9)));
  // The frame's left edge and the zero line lie where the mapping says.
  const int mid = static_cast<int>((f.top + f.bottom) / 2);
  const int left = static_cast<int>(std::floor(f.left));
  EXPECT_LT(std::min({pixel_at(*image, left - 1, mid).r, pixel_at(*image, left, mid).r, pixel_at(*image, left + 1, mid).r}), 128);
  EXPECT_TRUE(is_white(pixel_at(*image, left + 4, mid)));
  int grey = 0;
  const int zero = static_cast<int>(std::floor(f.y_at(0)));
  for (int x = left + 2; x < static_cast<int>(f.right) - 2; ++x)
    for (int y = zero - 1; y <= zero + 1; ++y) {
      const Pixel p = pixel_at(*image, x, y);
      grey += p.r < 220 && p.r > 90 && p.r == p.g && p.g == p.b;
    }
  EXPECT_GT(grey, (f.right - f.left) / 4) << "the dashed zero line";
}

// The value of a "Name:   value" line of pdfinfo.
std::string info_field(const std::string& info, const std::string& name) {
  const std::size_t at = info.rfind(name + ":", 0) == 0 ? 0 : info.find("\n" + name + ":");
  if (at == std::string::npos) return "";
  std::size_t from = info.find(':', at) + 1;
  while (from < info.size() && info[from] == ' ') ++from;
  return info.substr(from, info.find('\n', from) - from);
}

TEST(PlotPicture, SvgIsXmlWithOneMarkerPerDrawnColumnAndOneBarPerStandardError) {
  TempDir box;
  write_text(box.path / "mixed.csv", Mixed);
  write_text(box.path / "known.csv", Known);
  const ProcessResult run = run_plot({"--output", "plot.svg", "mixed.csv", "known.csv"}, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  // The NaN exponent is reported, not drawn.
  EXPECT_NE(run.err.find("mixed.csv: 1 column with a non-finite exponent"), std::string::npos) << run.err;
  const ProcessResult lint = run_process({"xmllint", "--noout", (box.path / "plot.svg").string()});
  EXPECT_EQ(lint.exit_code, 0) << lint.err;
  const std::string svg = read_text(box.path / "plot.svg");
  // A legend swatch, a marker per drawn column and a bar per usable error.
  EXPECT_EQ(svg_paths_in(svg, series_colour(0)), 1 + MixedDrawn + MixedBars);
  EXPECT_EQ(svg_paths_in(svg, series_colour(1)), 1 + 3 + 2);
}

TEST(PlotPicture, PdfIsAcceptedByPopplerAndCarriesTheLegend) {
  TempDir box;
  write_text(box.path / "mixed.csv", Mixed);
  write_text(box.path / "known.csv", Known);
  const ProcessResult run =
      run_plot({"--output", "plot.pdf", "--title", "Two runs", "--size", "800x500", "mixed.csv", "known.csv"}, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const ProcessResult info = run_process({"pdfinfo", (box.path / "plot.pdf").string()});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_EQ(info_field(info.out, "Pages"), "1") << info.out;
  EXPECT_EQ(info_field(info.out, "Title"), "Two runs") << info.out;
  EXPECT_EQ(info_field(info.out, "Page size").rfind("800 x 500 pts", 0), 0u) << info.out;
  const ProcessResult text = run_process({"pdftotext", (box.path / "plot.pdf").string(), "-"});
  ASSERT_EQ(text.exit_code, 0) << text.err;
  for (const char* word : {"Two runs", "mixed.csv", "known.csv", "damping", "\u03bb", "converged", "time limit",
                           "pass limit", "coinciding", "iteration ceiling", "stalled", "no measurement",
                           "no standard error"})
    EXPECT_NE(text.out.find(word), std::string::npos) << word << " missing in:\n" << text.out;
}

TEST(PlotPicture, ExtendedResultsFilesArePlottedLikePlainOnes) {
  TempDir box;
  write_text(box.path / "extended.csv",
             Header.substr(0, Header.size() - 1) +
                 ",large_passes,extrapolated,tangent_exponent,tangent_standard_error,segment\n"
                 "849,0.9,0.5,0.001,-40,pass_limit,5000,4000,1.000,0.1,4,12,0.49,0.51,0.02,1\n"
                 "848,0.89,0.4,0.001,-40,converged,5000,4000,1.000,,1,,,,,1\n");
  const ProcessResult run = run_plot({"--output", "plot.svg", "extended.csv"}, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(svg_paths_in(read_text(box.path / "plot.svg"), series_colour(0)), 1 + 2 + 1);
}

}  // namespace

namespace {

// Columns of a run with capture detection: chaotic, transient (its marker
// ringed) and captured (no exponent: a tick at the frame's bottom).
const std::string WithCaptures =
    Header.substr(0, Header.size() - 1) +
    ",large_passes,extrapolated,tangent_exponent,tangent_standard_error,regime,captures,chaotic_time,capture_rate,"
    "collapse_rate,integrator,tolerance,steps,rejected_steps\n"
    "370,0.4,0.9,0.001,-20,converged,5000,4000,1.000,0.1,4,0,,,,chaotic,0,40,0,,step,1e-8,,\n"
    "190,0.175,1.3,0.001,-9,pass_limit,5000,3000,1.000,0.1,3,0,,,,transient,2,30,0.05,0.34,step,1e-8,,\n"
    "100,0.0625,,,,pass_limit,5000,0,1.000,,0,0,,,,captured,4,0,0.9,1.07,step,1e-8,,\n";

}  // namespace

TEST(PlotPicture, RegimesAreMarkedAndRatesDrawnBesideTheAnalyticDrag) {
  TempDir box;
  write_text(box.path / "captures.csv", WithCaptures);
  const ProcessResult run = run_plot({"--output", "plot.svg", "captures.csv"}, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");  // a captured column is no column with a bad value
  // Swatch, two markers with their bars, the ring and the tick.
  EXPECT_EQ(svg_paths_in(read_text(box.path / "plot.svg"), series_colour(0)), 1 + 2 + 2 + 1 + 1);

  const ProcessResult rates = run_plot({"--rates", "--output", "rates.pdf", "captures.csv"}, box.path);
  ASSERT_EQ(rates.exit_code, 0) << rates.err;
  const ProcessResult text = run_process({"pdftotext", (box.path / "rates.pdf").string(), "-"});
  ASSERT_EQ(text.exit_code, 0) << text.err;
  for (const char* word : {"Capture and collapse rates", "collapse rate", "capture rate", "g = 1.5 - 20 D / 3", "rate"})
    EXPECT_NE(text.out.find(word), std::string::npos) << word << " missing in:\n" << text.out;
  ASSERT_EQ(run_plot({"--rates", "--output", "rates.svg", "captures.csv"}, box.path).exit_code, 0);
  const std::string svg = read_text(box.path / "rates.svg");
  EXPECT_EQ(svg_paths_in(svg, series_colour(0)), 1 + 2);  // collapse rates: two columns have one
  EXPECT_EQ(svg_paths_in(svg, series_colour(1)), 1 + 3);  // capture rates: all three

  // The committed sweep, written before capture detection, still plots.
  const ProcessResult old = run_plot(
      {"--output", "old.png", std::string(FLOCKCHASE_SOURCE_DIR) + "/docs/robust_sweep/flockchase.csv"}, box.path);
  EXPECT_EQ(old.exit_code, 0) << old.err;
}
