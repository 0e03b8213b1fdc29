// The command line of flockchase-plot: the results files to draw and how.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class PlotFormat { Png, Svg, Pdf };

struct PlotOptions {
  std::vector<std::string> inputs;  // results files, at least one
  std::string output;               // the picture to write
  PlotFormat format = PlotFormat::Png;
  std::string title = "Largest Lyapunov exponent against damping";
  int width = 960;  // pixels for PNG, points for SVG and PDF
  int height = 600;
  double damping_low = 0;
  double damping_high = 1;
  // --rates: the capture and collapse rates of the columns instead of their
  // exponents, with the pairs' analytic drag g = 1.5 - 20 D / 3.
  bool rates = false;
  // --ensemble: one file's ensemble columns as three panels (the ensemble
  // exponent, the shares of the members' ends, the escape rate).
  bool ensemble = false;
  // --spectrum: the inputs are spectrum files; their largest exponents and
  // Kaplan-Yorke dimensions are drawn.
  bool spectrum = false;
  bool title_given = false;
  bool size_given = false;
};

enum class PlotAction { Plot, Help, UsageError };

struct PlotInvocation {
  PlotAction action = PlotAction::UsageError;
  PlotOptions options;  // Plot
  std::string problem;  // UsageError: what is wrong, one line
};

// `arguments` are those after the program name.
PlotInvocation parse_plot_arguments(const std::vector<std::string>& arguments);

// The format a file name asks for by its extension (in any case).
std::optional<PlotFormat> format_for_path(std::string_view path);
// Which figure is drawn, for the picture's default name.
enum class PlotFigure { Exponent, Rates, Ensemble };

// The picture beside a results file: its ".csv" replaced by ".plot.png"
// (".rates.png", ".ensemble.png"), or that added to a name without ".csv".
std::string default_output_for(std::string_view results_path, PlotFigure figure = PlotFigure::Exponent);
// The picture beside a spectrum file: its ".csv" replaced by ".png".
std::string spectrum_output_for(std::string_view spectrum_path);

// One line, without a line feed.
std::string_view plot_usage_line();
// The whole --help text, ending in a line feed.
std::string_view plot_help_text();

// `text` as a message shows it: bytes that are not UTF-8 as replacement
// characters, as the picture draws them, and control characters escaped
// (\n, \x1b), so that a name cannot break a one-line message apart.
std::string plot_printable(std::string_view text);

// `text` as valid UTF-8: every byte that does not begin or continue a
// well-formed character becomes U+FFFD, so that a file name in another
// encoding can be drawn (Cairo refuses invalid UTF-8) and printed.
std::string valid_utf8(std::string_view text);
