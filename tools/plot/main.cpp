// flockchase-plot: draws results files of flockchase as a PNG, SVG or PDF.
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/replace_file.hpp"
#include "tools/plot/arguments.hpp"
#include "tools/plot/render.hpp"
#include "tools/plot/series.hpp"

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
    if (options.rates) continue;
    std::size_t skipped = 0, captured = 0;
    for (const PlotPoint& p : series.back().points) {
      if (p.regime == ColumnRegime::Captured) ++captured;
      else skipped += !is_drawable(p);
    }
    if (skipped > 0)
      std::fprintf(stderr, "flockchase-plot: %s: %zu column%s with a non-finite exponent or damping not drawn\n",
                   plot_printable(input).c_str(), skipped, skipped == 1 ? "" : "s");
  }
  std::vector<std::uint8_t> bytes;
  std::string error;
  const bool drawn = render_plot(options, series, bytes, error);
  release_text_caches();
  if (!drawn) {
    std::fprintf(stderr, "flockchase-plot: %s: %s\n", plot_printable(options.output).c_str(), error.c_str());
    return 1;
  }
  if (!replace_file(options.output, bytes, error)) {
    std::fprintf(stderr, "flockchase-plot: cannot write %s: %s\n", plot_printable(options.output).c_str(),
                 error.c_str());
    return 1;
  }
  return 0;
}
