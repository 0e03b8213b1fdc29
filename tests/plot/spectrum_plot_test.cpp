// flockchase-plot --spectrum: its command line, and its pictures as a
// spawned process writes them, read back by netpbm's pngtopnm, xmllint and
// pdftotext: each exponent's markers and bars in its colour where the
// panels' mapping puts them, the dimension below, failed certificates
// ringed; damaged and foreign files refused with one line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "process_support.hpp"
#include "tools/plot/arguments.hpp"
#include "tools/plot/palette.hpp"
#include "tools/plot/render.hpp"
#include "tools/plot/spectrum_plot.hpp"

namespace fs = std::filesystem;

namespace {

TEST(SpectrumPlotArguments, ItsOwnPictureAndTitleAndNotWithRates) {
  const PlotInvocation s = parse_plot_arguments({"--spectrum", "runs/flockchase.spectrum.csv"});
  ASSERT_EQ(s.action, PlotAction::Plot) << s.problem;
  EXPECT_TRUE(s.options.spectrum);
  EXPECT_EQ(s.options.output, "runs/flockchase.spectrum.png");
  EXPECT_EQ(s.options.title, "Largest Lyapunov exponents and Kaplan-Yorke dimension against damping");
  EXPECT_EQ(parse_plot_arguments({"--title", "T", "--spectrum", "a.csv"}).options.title, "T");
  EXPECT_FALSE(parse_plot_arguments({"a.csv"}).options.spectrum);
  const PlotInvocation both = parse_plot_arguments({"--spectrum", "--rates", "a.csv"});
  EXPECT_EQ(both.action, PlotAction::UsageError);
  EXPECT_NE(both.problem.find("--rates, --ensemble and --spectrum draw different figures"), std::string::npos) << both.problem;
  EXPECT_NE(plot_help_text().find("--spectrum"), std::string::npos);
}

// Three columns of K = 8: the first with all its errors, the second with
// none for its third exponent, the third without errors or dimension and a
// failed certificate.
SpectrumLine known_line(int column, double damping, int variant) {
  SpectrumLine s;
  s.column = column;
  s.damping = damping;
  for (int k = 0; k < 8; ++k) {
    s.exponents.push_back(1.0L - 0.3L * k - damping);
    s.errors.push_back(variant == 2 || (variant == 1 && k == 2) ? std::nullopt : std::optional<Real>(0.05L));
  }
  s.sum = s.trace = -(14 * damping / 0.3 + 1);
  s.zero_exponents = 4;
  s.positive_exponents = 2;
  if (variant != 2) {
    s.kaplan_yorke = 10 + 4 * damping;
    s.kaplan_yorke_error = 0.5L;
  }
  s.certificate = variant == 1 ? "sum+zeros" : "ok";
  return s;
}

const std::vector<SpectrumLine> Known = {known_line(290, 0.3, 0), known_line(450, 0.5, 1), known_line(610, 0.7, 2)};

void write_known(const fs::path& path) {
  SpectrumFile file;
  std::string error;
  ASSERT_TRUE(spectrum_start(file, path.string(), 8, Known, error)) << error;
}

ProcessResult run_plot(const std::vector<std::string>& arguments, const fs::path& directory) {
  std::vector<std::string> argv{PLOT_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run_process(argv, SpawnOptions{directory});
}

bool near_colour(const RgbRaster& image, int x, int y, Rgb colour) {
  if (x < 0 || y < 0 || x >= static_cast<int>(image.width) || y >= static_cast<int>(image.height)) return false;
  const std::size_t at = (static_cast<std::size_t>(y) * image.width + static_cast<std::size_t>(x)) * 3;
  return std::abs(image.rgb[at] - 255 * colour.r) < 40 && std::abs(image.rgb[at + 1] - 255 * colour.g) < 40 &&
         std::abs(image.rgb[at + 2] - 255 * colour.b) < 40;
}

TEST(SpectrumPlotPicture, PngHasEachExponentAndTheDimensionWhereThePanelsPutThem) {
  TempDir box;
  write_known(box.path / "run.spectrum.csv");
  const std::vector<std::string> arguments{"--spectrum", "run.spectrum.csv"};
  const ProcessResult run = run_plot(arguments, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::string why;
  const std::optional<RgbRaster> image = png_read_by_netpbm(box.path / "run.spectrum.png", why);
  ASSERT_TRUE(image) << why;
  const PlotInvocation invocation = parse_plot_arguments(arguments);
  const SpectrumPanels panels = spectrum_panels(invocation.options, spectrum_series(Known));
  ASSERT_LT(panels.exponents.bottom, panels.dimension.top);
  // The six largest of the first column, each in its colour, and the
  // seventh not drawn; its dimension below, in black.
  const SpectrumLine& first = Known[0];
  for (int k = 0; k < 7; ++k) {
    const int x = static_cast<int>(std::floor(panels.exponents.x_at(0.3)));
    const int y = static_cast<int>(std::floor(panels.exponents.y_at(static_cast<double>(first.exponents[k]))));
    EXPECT_EQ(near_colour(*image, x, y, series_colour(k)), k < 6) << "exponent " << k + 1;
  }
  const PlotFrame& d = panels.dimension;
  const int x = static_cast<int>(std::floor(d.x_at(0.3)));
  EXPECT_TRUE(near_colour(*image, x, static_cast<int>(std::floor(d.y_at(11.2))), {0, 0, 0}));
  // Its bar reaches 11.2 +- 0.5; nothing of it beyond.
  EXPECT_TRUE(near_colour(*image, x, static_cast<int>(std::round(d.y_at(11.2 + 0.45))), {0, 0, 0}));
  EXPECT_FALSE(near_colour(*image, x, static_cast<int>(std::round(d.y_at(11.2 + 0.6))), {0, 0, 0}));
  // The failed certificate's ring, red, beside the second column's point.
  const int ring_x = static_cast<int>(std::floor(d.x_at(0.5)));
  const int ring_y = static_cast<int>(std::floor(d.y_at(12)));
  int red = 0;
  for (int dx = -8; dx <= 8; ++dx) red += near_colour(*image, ring_x + dx, ring_y, {0.8, 0.1, 0.1});
  EXPECT_GE(red, 2);
}

// The number of SVG path elements drawn in `colour`, as Cairo writes colours.
int svg_paths_in(const std::string& svg, Rgb colour) {
  int count = 0;
  for (std::size_t at = svg.find("<path"); at != std::string::npos; at = svg.find("<path", at + 1)) {
    const std::string element = svg.substr(at, svg.find('>', at) - at);
    bool in_colour = false;
    for (std::size_t rgb = element.find(":rgb("); rgb != std::string::npos; rgb = element.find(":rgb(", rgb + 1)) {
      double r = -1, g = -1, b = -1;
      if (std::sscanf(element.c_str() + rgb, ":rgb(%lf%%,%lf%%,%lf%%)", &r, &g, &b) != 3) continue;
      in_colour = in_colour || (std::abs(r / 100 - colour.r) < 0.005 && std::abs(g / 100 - colour.g) < 0.005 &&
                                std::abs(b / 100 - colour.b) < 0.005);
    }
    count += in_colour;
  }
  return count;
}

TEST(SpectrumPlotPicture, SvgHasAMarkerPerColumnAndABarPerStandardErrorInEachColour) {
  TempDir box;
  write_known(box.path / "run.spectrum.csv");
  const ProcessResult run = run_plot({"--spectrum", "--output", "s.svg", "run.spectrum.csv"}, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const ProcessResult lint = run_process({"xmllint", "--noout", (box.path / "s.svg").string()});
  EXPECT_EQ(lint.exit_code, 0) << lint.err;
  const std::vector<std::uint8_t> bytes = read_file(box.path / "s.svg");
  const std::string svg(bytes.begin(), bytes.end());
  // A legend marker, three markers, and a bar where the error is given.
  for (int k = 0; k < 6; ++k) EXPECT_EQ(svg_paths_in(svg, series_colour(k)), 1 + 3 + (k == 2 ? 1 : 2)) << k + 1;
}

TEST(SpectrumPlotPicture, PdfCarriesTheLegend) {
  TempDir box;
  write_known(box.path / "run.spectrum.csv");
  const ProcessResult run = run_plot({"--spectrum", "--output", "s.pdf", "run.spectrum.csv"}, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const ProcessResult text = run_process({"pdftotext", (box.path / "s.pdf").string(), "-"});
  ASSERT_EQ(text.exit_code, 0) << text.err;
  for (const char* word : {"\u03bb1", "\u03bb6", "Kaplan-Yorke dimension", "certificate failed", "damping",
                           "standard error"})
    EXPECT_NE(text.out.find(word), std::string::npos) << word << " missing in:\n" << text.out;
}

TEST(SpectrumPlotFailures, DamagedAndForeignFilesGiveOneLineAndNoPicture) {
  TempDir box;
  write_known(box.path / "good.spectrum.csv");
  const std::vector<std::uint8_t> good = read_file(box.path / "good.spectrum.csv");
  std::string damaged(good.begin(), good.end());
  damaged.insert(damaged.rfind(",ok"), "x");
  write_file(box.path / "damaged.spectrum.csv", std::vector<std::uint8_t>(damaged.begin(), damaged.end()));
  const std::string results = "column,damping,exponent,spread,mean_divergence,end,passes,measured_passes,seconds,"
                              "standard_error,blocks\n290,0.3,1,0.001,-15,converged,900,800,1.000,0.1,1\n";
  write_file(box.path / "results.csv", std::vector<std::uint8_t>(results.begin(), results.end()));
  const std::string header_only = spectrum_header(8) + "\n";
  write_file(box.path / "empty.spectrum.csv", std::vector<std::uint8_t>(header_only.begin(), header_only.end()));
  const struct {
    const char* file;
    const char* says;
  } cases[] = {
      {"damaged.spectrum.csv", "line 4 is damaged"},
      {"results.csv", "not the header of a flockchase spectrum file"},
      {"empty.spectrum.csv", "no column lines"},
      {"missing.spectrum.csv", "missing.spectrum.csv"},
  };
  for (const auto& c : cases) {
    const ProcessResult run = run_plot({"--spectrum", "--output", "out.png", "good.spectrum.csv", c.file}, box.path);
    EXPECT_EQ(run.exit_code, 1) << c.file;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.file << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(fs::exists(box.path / "out.png")) << c.file;
  }
}

}  // namespace
