#include "tools/plot/arguments.hpp"

#include <gtest/gtest.h>

namespace {

TEST(PlotArguments, DefaultsAndOptions) {
  PlotInvocation d = parse_plot_arguments({"runs/flockchase.csv"});
  ASSERT_EQ(d.action, PlotAction::Plot) << d.problem;
  EXPECT_EQ(d.options.output, "runs/flockchase.plot.png");  // not the converter's flockchase.png
  EXPECT_EQ(d.options.format, PlotFormat::Png);
  EXPECT_EQ(d.options.width, 960);
  EXPECT_EQ(d.options.damping_low, 0);
  EXPECT_EQ(d.options.damping_high, 1);

  PlotInvocation o = parse_plot_arguments(
      {"--output=fig.SVG", "--title", "", "--size", "1200x800", "--damping=0.25:0.75", "a.csv", "--", "-b.csv"});
  ASSERT_EQ(o.action, PlotAction::Plot) << o.problem;
  EXPECT_EQ(o.options.output, "fig.SVG");
  EXPECT_EQ(o.options.format, PlotFormat::Svg);
  EXPECT_EQ(o.options.title, "");
  EXPECT_EQ(o.options.width, 1200);
  EXPECT_EQ(o.options.height, 800);
  EXPECT_EQ(o.options.damping_low, 0.25);
  EXPECT_EQ(o.options.damping_high, 0.75);
  EXPECT_EQ(o.options.inputs, (std::vector<std::string>{"a.csv", "-b.csv"}));

  EXPECT_EQ(parse_plot_arguments({"--output", "x.pdf", "a.csv"}).options.format, PlotFormat::Pdf);
  EXPECT_EQ(default_output_for("results"), "results.plot.png");
  EXPECT_EQ(parse_plot_arguments({"a.csv", "--help"}).action, PlotAction::Help);

  // --rates: its own default picture and title, unless one is given.
  PlotInvocation r = parse_plot_arguments({"--rates", "runs/flockchase.csv"});
  ASSERT_EQ(r.action, PlotAction::Plot) << r.problem;
  EXPECT_TRUE(r.options.rates);
  EXPECT_EQ(r.options.output, "runs/flockchase.rates.png");
  EXPECT_EQ(r.options.title, "Capture and collapse rates against damping");
  EXPECT_EQ(parse_plot_arguments({"--title", "T", "--rates", "a.csv"}).options.title, "T");
  EXPECT_FALSE(d.options.rates);

  // --ensemble: its own picture, title and a taller default size for its
  // three panels; a given size and title stand.
  PlotInvocation e = parse_plot_arguments({"--ensemble", "runs/flockchase.csv"});
  ASSERT_EQ(e.action, PlotAction::Plot) << e.problem;
  EXPECT_TRUE(e.options.ensemble);
  EXPECT_EQ(e.options.output, "runs/flockchase.ensemble.png");
  EXPECT_EQ(e.options.title, "Ensemble exponent, ends and escape rate against damping");
  EXPECT_EQ(e.options.width, 960);
  EXPECT_EQ(e.options.height, 900);
  PlotInvocation sized = parse_plot_arguments({"--size", "800x500", "--title", "T", "--ensemble", "a.csv"});
  EXPECT_EQ(sized.options.height, 500);
  EXPECT_EQ(sized.options.title, "T");
  EXPECT_EQ(default_output_for("results", PlotFigure::Ensemble), "results.ensemble.png");
  EXPECT_FALSE(d.options.ensemble);
  EXPECT_EQ(d.options.height, 600);
}

TEST(PlotArguments, BadCommandLinesSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> arguments;
    const char* problem;
  };
  const Case cases[] = {
      {{}, "missing RESULTS.csv"},
      {{"--output", "a.gif", "a.csv"}, "extension"},
      {{"--output", ".png", "a.csv"}, "extension"},
      {{"--output", "dir.png/", "a.csv"}, "extension"},
      {{"--output"}, "needs a value"},
      {{"--size", "10x10", "a.csv"}, "320x240"},
      {{"--size", "960", "a.csv"}, "WIDTHxHEIGHT"},
      {{"--size", "-960x600", "a.csv"}, "WIDTHxHEIGHT"},
      {{"--damping", "0.5:0.2", "a.csv"}, "LOW:HIGH"},
      {{"--damping", "0:1.5", "a.csv"}, "LOW:HIGH"},
      {{"--damping", "nan:1", "a.csv"}, "LOW:HIGH"},
      {{"--colour", "red", "a.csv"}, "unknown option '--colour'"},
      {{"--output", "a.csv", "a.csv"}, "extension"},
      {{"--output", "a.png", "a.png"}, "also a results file"},
      {{""}, "empty"},
      {{"--damping", "0:1", "--damping=0:1", "a.csv"}, "--damping is given more than once"},
      {{"a.csv", "--rates", "--help", "--rates"}, "--rates is given more than once"},
      {{"--title", "\xC3(", "a.csv"}, "not UTF-8"},
      {{"--title", "bell\x07", "a.csv"}, "without control characters"},
      {{"--ensemble", "a.csv", "b.csv"}, "--ensemble draws one results file, not 2"},
      {{"--ensemble", "--rates", "a.csv"}, "--rates, --ensemble and --spectrum draw different figures"},
      {{"--ensemble", "--spectrum", "a.csv"}, "--rates, --ensemble and --spectrum draw different figures"},
      {{"--ensemble", "a.csv", "--ensemble"}, "--ensemble is given more than once"},
      {{"--ensemble=yes", "a.csv"}, "--ensemble takes no value"},
  };
  for (const Case& c : cases) {
    const PlotInvocation i = parse_plot_arguments(c.arguments);
    EXPECT_EQ(i.action, PlotAction::UsageError) << c.problem;
    EXPECT_NE(i.problem.find(c.problem), std::string::npos) << i.problem;
    EXPECT_EQ(i.problem.find('\n'), std::string::npos);
  }
}

}  // namespace
