// flockchase-plot: draws results files of flockchase as a PNG, SVG or PDF.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "runtime/file_guard.hpp"
#include "runtime/replace_file.hpp"
#include "tools/plot/arguments.hpp"
#include "tools/plot/ensemble_plot.hpp"
#include "tools/plot/ensemble_series.hpp"
#include "tools/plot/render.hpp"
#include "tools/plot/series.hpp"
#include "tools/plot/spectrum_plot.hpp"

namespace {

std::string columns_text(std::size_t n) { return std::to_string(n) + (n == 1 ? " column" : " columns"); }

// "a b", "a b and c", "a, b and c".
std::string listed(const std::vector<std::string>& parts) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i)
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  return text;
}

// One line per file whose columns could not all be drawn, saying how many
// and why, for each of its series (the exponent, or the two rates); or, for
// a file without the series' fields, that they are missing.
void report_left_out(const std::string& input, const std::vector<const PlotSeries*>& series) {
  std::vector<std::string> missing, why;
  for (const PlotSeries* s : series) {
    if (s->field_missing) {
      missing.push_back(s->field);
      continue;
    }
    std::size_t non_finite = 0, beyond = 0;
    for (const PlotPoint& p : s->points) {
      if (!is_left_out(p)) continue;
      ++(is_beyond_axis(p) ? beyond : non_finite);
    }
    const std::string article = s->field == "exponent" ? "an " : "a ";
    if (non_finite > 0) why.push_back(columns_text(non_finite) + " with a non-finite " + s->field + " or damping");
    if (beyond > 0)
      why.push_back(columns_text(beyond) + " with " + article + s->field +
                    " beyond 1e307 in magnitude, which no axis can span with the others");
  }
  const std::string shown = plot_printable(input);
  if (!missing.empty()) {
    std::vector<std::string> fields;
    for (const std::string& field : missing) fields.push_back("no " + field + " field");
    std::fprintf(stderr, "flockchase-plot: %s: %s (written without capture detection, or before it): nothing of it "
                 "is drawn\n", shown.c_str(), listed(fields).c_str());
  }
  if (!why.empty()) std::fprintf(stderr, "flockchase-plot: %s: %s not drawn\n", shown.c_str(), listed(why).c_str());
}

// A picture without a single point is made all the same, but not in
// silence; the damping range is blamed only when points lie outside it.
// A captured column's tick is drawn too.
void report_empty_frame(const PlotOptions& options, const std::vector<PlotSeries>& series) {
  bool anywhere = false;
  for (const PlotSeries& s : series)
    for (const PlotPoint& p : s.points) {
      const bool marked = is_drawable(p) || (!options.rates && p.regime == ColumnRegime::Captured && std::isfinite(p.damping));
      if (!marked) continue;
      if (p.damping >= options.damping_low && p.damping <= options.damping_high) return;
      anywhere = true;
    }
  const char* const what = options.rates ? "rate" : "column";
  if (anywhere) {
    std::fprintf(stderr, "flockchase-plot: no %s to draw within damping %g:%g; the frame is empty\n", what,
                 options.damping_low, options.damping_high);
  } else {
    std::fprintf(stderr, "flockchase-plot: no %s to draw; the frame is empty\n", what);
  }
}

// --ensemble: a line when the file has no ensemble columns, or when some
// of their values cannot be drawn; a line when no panel has anything to
// draw, which blames the damping range only when columns lie outside it.
void report_ensemble(const PlotOptions& options, const EnsembleSeries& series) {
  const std::string shown = plot_printable(series.name);
  if (series.points.empty()) {
    std::fprintf(stderr, "flockchase-plot: %s: no ensemble columns (written without --members, or before it): "
                 "nothing of it is drawn\n", shown.c_str());
  } else if (const std::vector<std::string> why = ensemble_left_out(series); !why.empty()) {
    std::fprintf(stderr, "flockchase-plot: %s: %s not drawn\n", shown.c_str(), listed(why).c_str());
  }
  bool anywhere = false;
  for (const EnsemblePoint& p : series.points) {
    if (!any_drawable(p)) continue;
    if (p.damping >= options.damping_low && p.damping <= options.damping_high) return;
    anywhere = true;
  }
  if (anywhere) {
    std::fprintf(stderr, "flockchase-plot: no ensemble column to draw within damping %g:%g; the frames are empty\n",
                 options.damping_low, options.damping_high);
  } else {
    std::fprintf(stderr, "flockchase-plot: no ensemble column to draw; the frames are empty\n");
  }
}

// Reads the files and draws the figure the options ask for (`drawn`: Cairo
// made it); false with the error when a file cannot be read.
bool make_picture(const PlotOptions& options, std::vector<std::uint8_t>& bytes, bool& drawn, std::string& error) {
  if (options.ensemble) {
    EnsembleSeries series;
    if (!load_ensemble_series(options.inputs.front(), series, error)) return false;
    report_ensemble(options, series);
    drawn = render_ensemble(options, series, bytes, error);
    return true;
  }
  std::vector<PlotSeries> series;
  for (const std::string& input : options.inputs) {
    bool loaded = false;
    if (options.rates) {
      PlotSeries collapse, capture;
      loaded = load_rate_series(input, collapse, capture, error);
      if (loaded) {
        series.push_back(std::move(collapse));
        series.push_back(std::move(capture));
      }
    } else {
      series.emplace_back();
      loaded = load_series(input, series.back(), error);
    }
    if (!loaded) return false;
    if (options.rates) {
      report_left_out(input, {&series[series.size() - 2], &series.back()});
    } else {
      report_left_out(input, {&series.back()});
    }
  }
  report_empty_frame(options, series);
  drawn = render_plot(options, series, bytes, error);
  return true;
}

// Checked before anything is read: an output that is one of the inputs
// under another spelling or through a link, or that no picture can be
// written into.
std::optional<std::string> output_fault(const PlotOptions& options) {
  const std::string shown = plot_printable(options.output);
  if (path_kind(options.output) == PathKind::Other)
    return "the output '" + shown + "' is a block device or a socket, not a file to write";
  const FileIdentity output = identity_of(options.output);
  for (const std::string& input : options.inputs)
    if (same_file(output, identity_of(input)))
      return "the output '" + shown + "' is the results file '" + plot_printable(input) + "' to read";
  return std::nullopt;
}

// A character device or a FIFO (a pipe to a viewer, /dev/null) is written
// into as a stream; anything else is replaced whole.
bool write_output(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
  if (path_kind(path) != PathKind::Stream) return replace_file(path, bytes, error);
  const int fd = open_stream_output(path, error);
  if (fd < 0) return false;
  const bool written = write_all(fd, bytes.data(), bytes.size(), error);
  return close(fd) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const PlotInvocation invocation = parse_plot_arguments(arguments);
  switch (invocation.action) {
    case PlotAction::Help:
      std::fputs(std::string(plot_help_text()).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case PlotAction::UsageError:
      std::fprintf(stderr, "flockchase-plot: %s\n%s\n", invocation.problem.c_str(),
                   std::string(plot_usage_line()).c_str());
      return 2;
    case PlotAction::Plot:
      break;
  }
  const PlotOptions& options = invocation.options;
  if (const std::optional<std::string> fault = output_fault(options)) {
    std::fprintf(stderr, "flockchase-plot: %s\n", fault->c_str());
    return 2;
  }
  if (options.spectrum) return run_spectrum_plot(options, write_output);
  std::vector<std::uint8_t> bytes;
  std::string error;
  bool drawn = false;
  if (!make_picture(options, bytes, drawn, error)) {
    release_text_caches();
    std::fprintf(stderr, "flockchase-plot: %s\n", plot_printable(error).c_str());
    return 1;
  }
  release_text_caches();
  if (!drawn) {
    std::fprintf(stderr, "flockchase-plot: %s: %s\n", plot_printable(options.output).c_str(), error.c_str());
    return 1;
  }
  if (!write_output(options.output, bytes, error)) {
    std::fprintf(stderr, "flockchase-plot: cannot write %s: %s\n", plot_printable(options.output).c_str(),
                 error.c_str());
    return 1;
  }
  return 0;
}
