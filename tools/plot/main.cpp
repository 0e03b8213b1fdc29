// flockchase-plot: draws results files of flockchase as a PNG, SVG or PDF.
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "runtime/file_guard.hpp"
#include "runtime/replace_file.hpp"
#include "tools/plot/arguments.hpp"
#include "tools/plot/render.hpp"
#include "tools/plot/series.hpp"
#include "tools/plot/spectrum_plot.hpp"

namespace {

std::string columns_text(std::size_t n) { return std::to_string(n) + (n == 1 ? " column" : " columns"); }

// One line per file whose columns could not all be drawn, saying why.
void report_left_out(const std::string& input, const PlotSeries& series) {
  std::size_t non_finite = 0, beyond = 0;
  for (const PlotPoint& p : series.points) {
    // A captured column has no exponent by design; it is marked, not left out.
    if (p.regime == ColumnRegime::Captured) continue;
    non_finite += !is_drawable(p) && !is_beyond_axis(p);
    beyond += is_beyond_axis(p);
  }
  std::string why;
  if (non_finite > 0) why = columns_text(non_finite) + " with a non-finite exponent or damping";
  if (beyond > 0)
    why += (why.empty() ? "" : " and ") + columns_text(beyond) + " with an exponent beyond 1e307 in magnitude, which no axis can span with the others";
  if (!why.empty()) std::fprintf(stderr, "flockchase-plot: %s: %s not drawn\n", plot_printable(input).c_str(), why.c_str());
}

// A picture without a single point is made all the same, but not in
// silence.
void report_empty_frame(const PlotOptions& options, const std::vector<PlotSeries>& series) {
  for (const PlotSeries& s : series)
    for (const PlotPoint& p : s.points)
      if (is_drawable(p) && p.damping >= options.damping_low && p.damping <= options.damping_high) return;
  std::fprintf(stderr, "flockchase-plot: no column to draw within damping %g:%g; the frame is empty\n",
               options.damping_low, options.damping_high);
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
  std::vector<PlotSeries> series;
  for (const std::string& input : options.inputs) {
    std::string error;
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
    if (!loaded) {
      std::fprintf(stderr, "flockchase-plot: %s\n", plot_printable(error).c_str());
      return 1;
    }
    if (!options.rates) report_left_out(input, series.back());
  }
  report_empty_frame(options, series);
  std::vector<std::uint8_t> bytes;
  std::string error;
  const bool drawn = render_plot(options, series, bytes, error);
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
