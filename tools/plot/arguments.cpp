#include "tools/plot/arguments.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>

#include "runtime/printable.hpp"

namespace {

constexpr std::string_view Usage =
    "usage: flockchase-plot [--output FILE] [--title TEXT] [--size WxH] [--damping LOW:HIGH] "
    "[--rates | --ensemble | --spectrum] RESULTS.csv [MORE.csv ...]";

constexpr std::string_view Help =
    "usage: flockchase-plot [--output FILE] [--title TEXT] [--size WxH] [--damping LOW:HIGH]\n"
    "                       [--rates | --spectrum] RESULTS.csv [MORE.csv ...]\n"
    "       flockchase-plot --ensemble [--output FILE] [--title TEXT] [--size WxH]\n"
    "                       [--damping LOW:HIGH] RESULTS.csv\n"
    "Draws the results files of flockchase runs as one figure: the exponent of each\n"
    "column against its damping, with a bar of plus-minus one standard error; or,\n"
    "with --ensemble, the ensemble columns of one run (--members) in three panels.\n"
    "\n"
    "Options:\n"
    "  --output FILE       the picture to write; its extension chooses the format:\n"
    "                      .png, .svg or .pdf (default: the first RESULTS with .csv\n"
    "                      replaced by .plot.png, beside the run's own NAME.png)\n"
    "  --title TEXT        the title above the plot, one line of UTF-8 text (default\n"
    "                      \"Largest Lyapunov exponent against damping\"; empty for\n"
    "                      none)\n"
    "  --size WxH          width and height, 320x240 to 10000x10000: pixels for PNG,\n"
    "                      points for SVG and PDF (default 960x600)\n"
    "  --damping LOW:HIGH  the damping range across, 0 <= LOW < HIGH <= 1 (default\n"
    "                      0:1); columns outside it are not drawn\n"
    "  --rates             draw each column's collapse_rate and capture_rate, each\n"
    "                      in a colour of its own, instead of its exponent, with\n"
    "                      the captured pairs' analytic drag g = 1.5 - 20 D / 3\n"
    "                      (dashed) beside the collapse rates; a column without a\n"
    "                      rate is not drawn, and rates that cannot be drawn (NaN,\n"
    "                      infinite, beyond 1e307) are left out, said in one line\n"
    "                      (default output: .rates.png)\n"
    "  --ensemble          draw the ensemble columns of one file (a run with\n"
    "                      --members) as three panels against the damping: the\n"
    "                      ensemble exponent of the fresh members with its standard\n"
    "                      error, and member 0's exponent apart (open diamonds);\n"
    "                      the stacked shares of the fresh members ending chaotic,\n"
    "                      settled and captured, each with its 95 % interval; the\n"
    "                      escape rate on a logarithmic axis with its 95 %\n"
    "                      interval, and where nothing escaped the upper bound as\n"
    "                      a downward arrow (default output: .ensemble.png, size\n"
    "                      960x900)\n"
    "  --spectrum          the files are spectrum files (NAME.spectrum.csv): draw\n"
    "                      the largest exponents (up to 6, a colour each) and,\n"
    "                      below, the Kaplan-Yorke dimension of each column, with\n"
    "                      bars of one standard error; a ring marks a column whose\n"
    "                      certificate failed (default output: .csv replaced by\n"
    "                      .png, so NAME.spectrum.png)\n"
    "  -h, --help          show this text and exit\n"
    "\n"
    "What is drawn:\n"
    "  x is the damping, y the exponent (lambda); the y range covers every drawn\n"
    "  exponent and zero, and the error bars as far as the spread of the exponents\n"
    "  again beyond it on either side; longer bars are cut at the frame.\n"
    "  The colour tells the file (named in the legend); the marker how the column\n"
    "  ended: circle converged, triangle up time limit, triangle down pass limit,\n"
    "  diamond coinciding, square iteration ceiling, star stalled (--flow: the\n"
    "  engine could not go on), hexagon settled (on a regular attractor, and\n"
    "  certified there), plus captured (--members: the continued member 0 was\n"
    "  captured), cross no measurement\n"
    "  (measured_passes 0: the values repeat the column before, drawn without bar).\n"
    "  A column without a standard error, or with an infinite or NaN one, is drawn\n"
    "  hollow and without bar. A column whose exponent or damping is NaN or\n"
    "  infinite, or whose exponent lies beyond 1e307 in magnitude (no axis spans\n"
    "  it with others), is not drawn; one line on standard error tells how many.\n"
    "  Runs with capture detection: a transient column (captures or a settling;\n"
    "  the exponent is that of its chaotic phases) has a ring around its marker, a\n"
    "  regular column (no chaotic phase: the exponent is the regular attractor's)\n"
    "  a square; a captured column has no exponent and is marked by a tick above\n"
    "  the frame's bottom.\n"
    "  --ensemble: member 0 continues the previous column's state, so the shares,\n"
    "  the escape rate and the ensemble exponent count only the fresh members. A\n"
    "  file without ensemble columns, and values that cannot be drawn (NaN,\n"
    "  infinite, beyond 1e307, a rate of 0 on the logarithmic axis), are each said\n"
    "  in one line; the picture is written all the same.\n"
    "\n"
    "The picture is made in memory and written to a temporary file beside FILE,\n"
    "renamed over FILE only when complete: on any failure an earlier FILE stays.\n"
    "A FILE that is a character device or a FIFO (a pipe) is written into as a\n"
    "stream instead; a block device or a socket, or one of the results files to\n"
    "read (by any name or link), is refused. Only regular files are read.\n"
    "Plain, extended and merged results files are read, with or without the\n"
    "capture fields; a file that is missing, empty, has\n"
    "no column lines or a damaged line is an error (the message names the line).\n"
    "\n"
    "Exit status: 0 when the picture was written; 1 when a results file could not\n"
    "be read or the picture not written (one line on standard error says why);\n"
    "2 for a wrong command line or an output that is refused.\n";

PlotInvocation usage_error(std::string problem) {
  PlotInvocation invocation;
  invocation.action = PlotAction::UsageError;
  invocation.problem = std::move(problem);
  return invocation;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool ends_with(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && lower(text.substr(text.size() - tail.size())) == tail;
}

bool parse_whole_int(const std::string& text, int& out) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || value > 1000000) return false;
  out = static_cast<int>(value);
  return true;
}

bool parse_whole_double(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(out);
}

// Applies one option with its value; the problem when it is wrong.
std::optional<std::string> apply(PlotOptions& options, const std::string& name, const std::string& value) {
  if (name == "--output") {
    if (value.empty()) return "--output needs a file name";
    if (!format_for_path(value))
      return "--output '" + plot_printable(value) + "': the extension must be .png, .svg or .pdf";
    options.output = value;
    options.format = *format_for_path(value);
  } else if (name == "--title") {
    // Unlike a file name, a title is the user's own text: bytes in another
    // encoding would be drawn as replacement characters into a figure to
    // publish, and a control character as a box, so both are refused.
    if (valid_utf8(value) != value)
      return "--title '" + escape_controls(value) + "': not UTF-8 text; give the title in UTF-8";
    if (escape_controls(value) != value)
      return "--title '" + escape_controls(value) + "': a title is one line of text, without control characters";
    options.title = value;
    options.title_given = true;
  } else if (name == "--size") {
    const std::size_t x = value.find('x');
    int width = 0;
    int height = 0;
    if (x == std::string::npos || !parse_whole_int(value.substr(0, x), width) ||
        !parse_whole_int(value.substr(x + 1), height))
      return "--size '" + plot_printable(value) + "': give WIDTHxHEIGHT, for example 960x600";
    if (width < 320 || height < 240 || width > 10000 || height > 10000)
      return "--size '" + plot_printable(value) + "': width and height must lie in 320x240 to 10000x10000";
    options.width = width;
    options.height = height;
    options.size_given = true;
  } else if (name == "--damping") {
    const std::size_t colon = value.find(':');
    double low = 0;
    double high = 0;
    if (colon == std::string::npos || !parse_whole_double(value.substr(0, colon), low) ||
        !parse_whole_double(value.substr(colon + 1), high) || !(0 <= low && low < high && high <= 1))
      return "--damping '" + plot_printable(value) + "': give LOW:HIGH with 0 <= LOW < HIGH <= 1";
    options.damping_low = low;
    options.damping_high = high;
  }
  return std::nullopt;
}

}  // namespace

// Each option at most once, as in flockchase: a second one is refused
// rather than silently overriding the first. The help comes once the whole
// command line is read, so that it never hides a bad one.
PlotInvocation parse_plot_arguments(const std::vector<std::string>& arguments) {
  PlotInvocation invocation;
  PlotOptions& options = invocation.options;
  bool options_ended = false;
  bool help = false;
  std::set<std::string> given;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      options.inputs.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    const std::size_t equals = argument.starts_with("--") ? argument.find('=') : std::string::npos;
    const std::string name = argument.substr(0, equals);
    const bool flag =
        name == "--rates" || name == "--ensemble" || name == "--spectrum" || name == "--help" || name == "-h";
    if (!flag && name != "--output" && name != "--title" && name != "--size" && name != "--damping")
      return usage_error("unknown option '" + plot_printable(name) + "'");
    if (!given.insert(name == "-h" ? "--help" : name).second) return usage_error(name + " is given more than once");
    if (flag) {
      if (equals != std::string::npos) return usage_error(name + " takes no value");
      (name == "--rates"      ? options.rates
       : name == "--ensemble" ? options.ensemble
       : name == "--spectrum" ? options.spectrum
                              : help) = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      return usage_error(name + " needs a value");
    }
    if (auto problem = apply(options, name, value)) return usage_error(*problem);
  }
  if (help) {
    PlotInvocation shown;
    shown.action = PlotAction::Help;
    return shown;
  }
  if (options.inputs.empty()) return usage_error("missing RESULTS.csv (a results file of flockchase)");
  for (const std::string& input : options.inputs)
    if (input.empty()) return usage_error("a results file name is empty");
  if (options.rates + options.ensemble + options.spectrum > 1)
    return usage_error("--rates, --ensemble and --spectrum draw different figures; give one");
  // The three panels stack the members' ends of each column: files cannot
  // be laid over one another there.
  if (options.ensemble && options.inputs.size() > 1)
    return usage_error("--ensemble draws one results file, not " + std::to_string(options.inputs.size()));
  const PlotFigure figure =
      options.rates ? PlotFigure::Rates : options.ensemble ? PlotFigure::Ensemble : PlotFigure::Exponent;
  if (!options.title_given) {
    if (options.rates) options.title = "Capture and collapse rates against damping";
    if (options.ensemble) options.title = "Ensemble exponent, ends and escape rate against damping";
    if (options.spectrum) options.title = "Largest Lyapunov exponents and Kaplan-Yorke dimension against damping";
  }
  // Three panels want more height than one.
  if (options.ensemble && !options.size_given) options.height = 900;
  if (options.output.empty()) {
    options.output = options.spectrum ? spectrum_output_for(options.inputs.front())
                                      : default_output_for(options.inputs.front(), figure);
    options.format = PlotFormat::Png;
  }
  for (const std::string& input : options.inputs)
    if (input == options.output)
      return usage_error("the output '" + plot_printable(input) + "' is also a results file to read");
  invocation.action = PlotAction::Plot;
  return invocation;
}

std::optional<PlotFormat> format_for_path(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  // A name that is only an extension (".png") names no picture.
  if (base.size() <= 4) return std::nullopt;
  if (ends_with(base, ".png")) return PlotFormat::Png;
  if (ends_with(base, ".svg")) return PlotFormat::Svg;
  if (ends_with(base, ".pdf")) return PlotFormat::Pdf;
  return std::nullopt;
}

// Not NAME.png: that is the converter's picture of the run's own chart.
std::string default_output_for(std::string_view results_path, PlotFigure figure) {
  const char* const tail = figure == PlotFigure::Rates      ? ".rates.png"
                           : figure == PlotFigure::Ensemble ? ".ensemble.png"
                                                            : ".plot.png";
  if (ends_with(results_path, ".csv")) return std::string(results_path.substr(0, results_path.size() - 4)) + tail;
  return std::string(results_path) + tail;
}

// NAME.spectrum.csv gives NAME.spectrum.png.
std::string spectrum_output_for(std::string_view spectrum_path) {
  if (ends_with(spectrum_path, ".csv")) return std::string(spectrum_path.substr(0, spectrum_path.size() - 4)) + ".png";
  return std::string(spectrum_path) + ".png";
}

std::string_view plot_usage_line() { return Usage; }

std::string_view plot_help_text() { return Help; }

std::string valid_utf8(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  while (i < text.size()) {
    const unsigned char lead = byte(i);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                                      : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length > 1) {
      // The second byte's range excludes overlong forms, surrogates and
      // characters beyond U+10FFFF.
      const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
      const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
      if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) length = 0;
      for (std::size_t k = 2; length != 0 && k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) length = 0;
    }
    if (length == 0) {
      out += "\uFFFD";
      ++i;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

std::string plot_printable(std::string_view raw) { return escape_controls(valid_utf8(raw)); }
