// flockchase-plot --ensemble as a spawned process on small results files of
// the extended layout: the three panels read back through pdftotext and
// pdfinfo (legends, axis names, decade labels), the PNG through netpbm
// (its size, and the stacks, points and bounds where the panels' mappings
// put them), and the one line said for what is not drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "plot_support.hpp"
#include "process_support.hpp"
#include "tools/plot/arguments.hpp"
#include "tools/plot/ensemble_layout.hpp"
#include "tools/plot/ensemble_plot.hpp"
#include "tools/plot/ensemble_series.hpp"
#include "tools/plot/render.hpp"

namespace {

struct ReleaseTextCaches : ::testing::Environment {
  void TearDown() override { release_text_caches(); }
};
[[maybe_unused]] ::testing::Environment* const release_at_end =
    ::testing::AddGlobalTestEnvironment(new ReleaseTextCaches);

// The 95 % Wilson interval of k in n, as the program writes it.
std::pair<double, double> wilson(int k, int n) {
  const double z = 1.959963984540054, p = static_cast<double>(k) / n;
  const double scale = 1 / (1 + z * z / n);
  const double centre = (p + z * z / (2 * n)) * scale;
  const double half = z * scale * std::sqrt(p * (1 - p) / n + z * z / (4.0 * n * n));
  return {k == 0 ? 0 : centre - half, k == n ? 1 : centre + half};
}

// An ensemble column of 16 members: the fresh 15 ending chaotic, settled and
// captured as given, escaping over `time` at risk; member 0's exponent
// apart from the ensemble's.
ColumnResult ensemble_column(int column, double damping, int chaotic, int settled, int captured, double time,
                             double ensemble, double member0) {
  ColumnResult c = flow_column(column, damping, member0, 0.02);
  c.members = 16;
  c.ended_chaotic = chaotic;
  c.ended_settled = settled;
  c.ended_captured = captured;
  c.ended_stalled = 15 - chaotic - settled - captured;
  std::tie(c.chaotic_share_low, c.chaotic_share_high) = wilson(chaotic, 15);
  std::tie(c.settled_share_low, c.settled_share_high) = wilson(settled, 15);
  std::tie(c.captured_share_low, c.captured_share_high) = wilson(captured, 15);
  const int escapes = settled + captured;
  c.escapes = escapes;
  c.member_chaotic_time = time;
  if (escapes > 0) {
    c.escape_rate = escapes / time;
    c.escape_rate_low = 0.5L * escapes / time;
  }
  c.escape_rate_high = (escapes > 0 ? 1.8L * escapes : 3.6889L) / time;  // none escaped: the bound alone
  c.attractors = settled > 0 ? 1 : 0;
  c.attractor_shares = settled > 0 ? "1:0.4" : "";
  c.ensemble_exponent = ensemble;
  c.ensemble_standard_error = 0.03L;
  if (settled + captured > 0) c.regime = ColumnRegime::Transient;
  return c;
}

// Chaos throughout at 0.3 (nothing escaped: the bound 6.1e-5), settlings at
// 0.25 (rate 1e-4), captures at 0.2 (rate 1.8e-3) and a stalled member.
const std::vector<ColumnResult> Sweep = {
    ensemble_column(240, 0.3, 15, 0, 0, 60000, 1.2, 1.3),
    ensemble_column(200, 0.25, 9, 6, 0, 60000, 1.1, 0.001),
    ensemble_column(160, 0.2, 3, 2, 9, 6000, 0.9, 0.8),
};

TEST(PlotEnsemble, ThreePanelsCarryTheirLegendsAxesAndDecades) {
  TempDir box;
  write_text(box.path / "ens.csv", extended_file(Sweep));
  const ProcessResult run = run_plot({"--ensemble", "--output", "e.pdf", "ens.csv"}, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const ProcessResult info = run_process({"pdfinfo", (box.path / "e.pdf").string()});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_NE(info.out.find("Ensemble exponent, ends and escape rate against damping"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("960 x 900 pts"), std::string::npos) << info.out;
  const ProcessResult text = run_process({"pdftotext", (box.path / "e.pdf").string(), "-"});
  ASSERT_EQ(text.exit_code, 0) << text.err;
  for (const char* word : {"ensemble exponent", "\u00b1 1 standard error", "member 0 (continued)", "\u03bb", "chaotic",
                           "settled", "captured", "stalled", "95 % interval", "share of fresh members", "escape rate",
                           "upper bound: no escape", "damping",
                           // Decades from below the bound at 0.3 to above the
                           // rate's interval at 0.2.
                           "10\u207b\u2075", "10\u207b\u2074", "10\u207b\u00b3", "10\u207b\u00b2"})
    EXPECT_NE(text.out.find(word), std::string::npos) << word << " missing in:\n" << text.out;
  // The plain exponent plot of the same file stays one panel.
  ASSERT_EQ(run_plot({"--output", "p.pdf", "ens.csv"}, box.path).exit_code, 0);
  const ProcessResult plain = run_process({"pdftotext", (box.path / "p.pdf").string(), "-"});
  EXPECT_EQ(plain.out.find("share of fresh members"), std::string::npos) << plain.out;
}

struct Pixel {
  int r, g, b;
};

Pixel pixel_at(const RgbRaster& image, double x, double y) {
  const int px = static_cast<int>(std::floor(x)), py = static_cast<int>(std::floor(y));
  if (px < 0 || py < 0 || px >= static_cast<int>(image.width) || py >= static_cast<int>(image.height))
    return {255, 255, 255};
  const std::size_t at = (static_cast<std::size_t>(py) * image.width + static_cast<std::size_t>(px)) * 3;
  return {image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

bool near(Pixel p, Rgb c) {
  return std::abs(p.r - c.r * 255) < 12 && std::abs(p.g - c.g * 255) < 12 && std::abs(p.b - c.b * 255) < 12;
}

TEST(PlotEnsemble, PngPanelsDrawStacksPointsAndBoundsWhereTheirMappingsPutThem) {
  TempDir box;
  write_text(box.path / "ens.csv", extended_file(Sweep));
  const ProcessResult run = run_plot({"--ensemble", "ens.csv"}, box.path);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::string why;
  const std::optional<RgbRaster> image = png_read_by_netpbm(box.path / "ens.ensemble.png", why);
  ASSERT_TRUE(image) << why;
  EXPECT_EQ(image->width, 960u);
  EXPECT_EQ(image->height, 900u);

  EnsembleSeries series;
  std::string error;
  ASSERT_TRUE(load_ensemble_series((box.path / "ens.csv").string(), series, error)) << error;
  const std::array<PlotFrame, 3> f = ensemble_frames(parse_plot_arguments({"--ensemble", "ens.csv"}).options, series);
  ASSERT_LT(f[0].bottom, f[1].top);
  ASSERT_LT(f[1].bottom, f[2].top);
  // (a): the ensemble's point, and member 0's outline apart from it.
  EXPECT_TRUE(near(pixel_at(*image, f[0].x_at(0.3), f[0].y_at(1.2)), ensemble_colour()));
  EXPECT_FALSE(near(pixel_at(*image, f[0].x_at(0.3), f[0].y_at(1.3)), ensemble_colour()));
  int outline = 0;
  for (int dx = -8; dx <= 8; ++dx)
    for (int dy = -8; dy <= 8; ++dy) {
      const Pixel p = pixel_at(*image, f[0].x_at(0.3) + dx, f[0].y_at(1.3) + dy);
      outline += p.r - p.b > 100;  // vermilion, not the ensemble's blue
    }
  EXPECT_GE(outline, 12) << "member 0's diamond";
  // The ensemble's points are joined, member 0's are not.
  int joined = 0, between = 0;
  for (int dy = -3; dy <= 3; ++dy) {
    const Pixel line = pixel_at(*image, f[0].x_at(0.275), f[0].y_at(1.15) + dy);
    joined += line.b - line.r > 60;
    const Pixel p = pixel_at(*image, f[0].x_at(0.275), f[0].y_at(0.6505) + dy);
    between += p.r - p.b > 60;
  }
  EXPECT_GE(joined, 1) << "the ensemble's line";
  EXPECT_EQ(between, 0) << "member 0's values joined";
  // (b): at 0.25 chaotic up to 9/15 = 0.6, settled above it, nothing
  // captured; at 0.2 chaotic to 0.2, settled to 1/3, captured to 14/15,
  // stalled above. Looked
  // at beside the interval bars, inside the stacked bar.
  struct Band {
    double damping, share;
    MemberEnd end;
  };
  for (const Band& b : {Band{0.25, 0.3, MemberEnd::Chaotic}, Band{0.25, 0.8, MemberEnd::Settled},
                        Band{0.2, 0.1, MemberEnd::Chaotic}, Band{0.2, 0.27, MemberEnd::Settled},
                        Band{0.2, 0.7, MemberEnd::Captured}, Band{0.2, 0.97, MemberEnd::Stalled},
                        Band{0.3, 0.5, MemberEnd::Chaotic}})
    EXPECT_TRUE(near(pixel_at(*image, f[1].x_at(b.damping) + 10, f[1].y_at(b.share)), band_colour(b.end)))
        << b.damping << " at " << b.share;
  // (c), in decades: the rate at 0.25 (1e-4) is a point; at 0.3 nothing
  // escaped, and the bound 3.6889 / 60000 has its arrow below it, nothing above.
  EXPECT_TRUE(near(pixel_at(*image, f[2].x_at(0.25), f[2].y_at(-4)), ensemble_colour()));
  const double bound = f[2].y_at(std::log10(3.6889 / 60000));
  EXPECT_TRUE(near(pixel_at(*image, f[2].x_at(0.3), bound + 4), ensemble_colour()));
  EXPECT_TRUE(near(pixel_at(*image, f[2].x_at(0.3), bound + 11), ensemble_colour()));
  EXPECT_FALSE(near(pixel_at(*image, f[2].x_at(0.3), bound - 4), ensemble_colour()));
  EXPECT_GT(f[2].y_at(-4) - f[2].y_at(-3), 40) << "a decade tall enough to tell";
}

TEST(PlotEnsemble, WhatIsNotDrawnIsSaidInOneLine) {
  ColumnResult plain = flow_column(100, 0.5, 0.8, 0.02);
  ColumnResult nan_exponent = ensemble_column(150, 0.4, 15, 0, 0, 60000, 1.2, 1.3);
  nan_exponent.ensemble_exponent = std::numeric_limits<Real>::quiet_NaN();
  ColumnResult huge_rate = ensemble_column(160, 0.2, 3, 2, 10, 6000, 0.9, 0.8);
  huge_rate.escape_rate = 1e4000L;
  const std::string none = "flockchase-plot: in.csv: no ensemble columns (written without --members, or before it): "
                           "nothing of it is drawn\nflockchase-plot: no ensemble column to draw; the frames are empty\n";
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> options;
    std::string said;  // all of standard error
  };
  const Case cases[] = {
      {"a plain results file", Known, {}, none},
      {"an extended file of a run without --members", extended_file({plain}), {}, none},
      {"an ensemble file", extended_file(Sweep), {}, ""},
      {"a column without ensemble fields among ensemble ones", extended_file({Sweep[0], plain}), {},
       "flockchase-plot: in.csv: 1 column without ensemble fields not drawn\n"},
      {"a NaN ensemble exponent and a rate beyond any double", extended_file({nan_exponent, huge_rate}), {},
       "flockchase-plot: in.csv: 1 column with a non-finite ensemble_exponent and 1 column with an escape_rate beyond "
       "1e307 in magnitude, which no axis can span with the others not drawn\n"},
      {"no ensemble column within the damping range", extended_file(Sweep), {"--damping", "0.5:0.6"},
       "flockchase-plot: no ensemble column to draw within damping 0.5:0.6; the frames are empty\n"},
  };
  for (const Case& c : cases) {
    TempDir box;
    write_text(box.path / "in.csv", c.text);
    std::vector<std::string> arguments{"--ensemble", "--output", "e.svg"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.push_back("in.csv");
    const ProcessResult run = run_plot(arguments, box.path);
    EXPECT_EQ(run.exit_code, 0) << c.what << ": " << run.err;
    EXPECT_EQ(run.err, c.said) << c.what;
    EXPECT_TRUE(fs::exists(box.path / "e.svg")) << c.what;
    const ProcessResult lint = run_process({"xmllint", "--noout", (box.path / "e.svg").string()});
    EXPECT_EQ(lint.exit_code, 0) << c.what << ": " << lint.err;
  }
}

}  // namespace
