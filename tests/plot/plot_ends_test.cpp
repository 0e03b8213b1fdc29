// The ends and regimes that the settling and ensemble columns brought to
// the exponent plot: each has its marker or mark and its legend entry, read
// back from the SVG (the marks in the file's colour) and the PDF's text.
#include <gtest/gtest.h>

#include "plot_support.hpp"
#include "process_support.hpp"
#include "tools/plot/palette.hpp"

namespace {

TEST(PlotEnds, SettledAndCapturedEndsAndTheRegularRegimeHaveMarksAndLegendEntries) {
  struct Case {
    const char* what;
    ColumnEnd end;
    ColumnRegime regime;
    bool settling;  // settled_time given
    int captures;
    std::vector<std::string> legend;  // entries that must be there
    std::vector<std::string> absent;  // and that must not
    int marks;  // the file's swatch, the column's bar, marker and ring or square
  };
  const Case cases[] = {
      {"a column that settled after chaos", ColumnEnd::Settled, ColumnRegime::Transient, true, 0,
       {"settled", "transient: settling"}, {"converged", "transient: captures"}, 4},
      {"an ensemble column whose member 0 was captured", ColumnEnd::Captured, ColumnRegime::Transient, false, 2,
       {"captured", "transient: captures"}, {"pass limit", "settling", "captured: no exponent"}, 4},
      {"a column both captured and settled", ColumnEnd::Settled, ColumnRegime::Transient, true, 1,
       {"settled", "transient: captures, settling"}, {}, 4},
      {"a regular column", ColumnEnd::PassLimit, ColumnRegime::Regular, true, 0,
       {"pass limit", "regular: no chaotic phase"}, {"transient"}, 4},
      {"a chaotic column, for comparison", ColumnEnd::PassLimit, ColumnRegime::Chaotic, false, 0, {"pass limit"},
       {"regular", "transient", "settled"}, 3},
  };
  for (const Case& c : cases) {
    TempDir box;
    ColumnResult column = flow_column(300, 0.24, c.regime == ColumnRegime::Regular ? 0.001 : 0.5, 0.05);
    column.end = c.end;
    column.regime = c.regime;
    column.captures = c.captures;
    if (c.settling) {
      column.settled_time = 270;
      column.regular_exponent = 0.0002L;
      column.regular_standard_error = 0.001L;
    }
    write_text(box.path / "in.csv", extended_file({column}));
    const ProcessResult svg = run_plot({"--output", "p.svg", "in.csv"}, box.path);
    ASSERT_EQ(svg.exit_code, 0) << c.what << ": " << svg.err;
    EXPECT_EQ(svg.err, "") << c.what;
    EXPECT_EQ(svg_paths_in(read_text(box.path / "p.svg"), series_colour(0)), c.marks) << c.what;
    ASSERT_EQ(run_plot({"--output", "p.pdf", "in.csv"}, box.path).exit_code, 0) << c.what;
    const ProcessResult text = run_process({"pdftotext", (box.path / "p.pdf").string(), "-"});
    ASSERT_EQ(text.exit_code, 0) << text.err;
    for (const std::string& word : c.legend)
      EXPECT_NE(text.out.find(word), std::string::npos) << c.what << ": " << word << " missing in:\n" << text.out;
    for (const std::string& word : c.absent)
      EXPECT_EQ(text.out.find(word), std::string::npos) << c.what << ": " << word << " in:\n" << text.out;
  }
}

// The two new ends get shapes of their own: their pictures differ from each
// other and from every older end's.
TEST(PlotEnds, EveryEndHasAShapeOfItsOwn) {
  const ColumnEnd ends[] = {ColumnEnd::Converged, ColumnEnd::TimeLimit, ColumnEnd::Coinciding,
                            ColumnEnd::IterationCeiling, ColumnEnd::PassLimit, ColumnEnd::Stalled,
                            ColumnEnd::Settled, ColumnEnd::Captured};
  std::vector<std::string> markers;
  for (ColumnEnd end : ends) {
    TempDir box;
    ColumnResult column = flow_column(300, 0.24, 0.5, 0.05);
    column.end = end;
    write_text(box.path / "in.csv", extended_file({column}));
    ASSERT_EQ(run_plot({"--output", "p.svg", "in.csv"}, box.path).exit_code, 0);
    // The outlines drawn in the file's colour: the column's bar and marker,
    // the legend's swatch; only the marker differs from end to end.
    const std::string svg = read_text(box.path / "p.svg");
    std::string outlines;
    for (std::size_t at = svg.find("<path"); at != std::string::npos; at = svg.find("<path", at + 1)) {
      const std::string element = svg.substr(at, svg.find('>', at) - at);
      if (svg_paths_in(element + ">", series_colour(0)) == 1) outlines += element.substr(element.find(" d=")) + "\n";
    }
    markers.push_back(outlines);
  }
  for (std::size_t i = 0; i < markers.size(); ++i)
    for (std::size_t j = i + 1; j < markers.size(); ++j)
      EXPECT_NE(markers[i], markers[j]) << column_end_name(ends[i]) << " and " << column_end_name(ends[j]);
}

}  // namespace
