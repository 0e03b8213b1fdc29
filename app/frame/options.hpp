// Command-line options. With none, the run is the full specified sweep.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/files/segment.hpp"
#include "app/measure/damping_range.hpp"
#include "app/measure/parameters.hpp"

struct Options {
  int step = 1;                 // evaluate every step-th column from the right
  double time_limit = ColumnTimeLimit;  // seconds of elapsed time per column
  bool headless = false;        // draw off-screen even when a display is present
  int threads = 0;               // 1 or 2; 0 = 2 when the machine has two cores
  DampingRange damping;         // evaluate only columns with damping in range
  bool resume = false;          // continue a stopped sweep from its checkpoint
  std::string history;          // file for the convergence history, if any
  // The measurement options.
  bool robust = false;          // the shadow follows the reference's map
  bool tangent = false;         // a second estimate from the tangent dynamics
  std::int32_t passes = 0;      // pass budget of a column; 0: none
  std::optional<double> target_error;  // converge on the standard error instead of the spread
  bool flow = false;            // the flow engine instead of the step
  std::optional<double> tolerance;  // the flow engine's tolerance; its default when none
  std::int32_t members = 1;     // with --flow: trajectories per column, member 0 continued
  std::uint32_t seed = 0;       // with --members: another set of fresh starts
  bool ascending = false;       // sweep the columns left to right
  int spectrum = 0;             // with --flow: the K largest exponents measured; 0: none
  // Sweeps split over machines.
  std::optional<Segment> segment;  // run only segment I of K, into NAME.segI-K.*
  bool convert = false;            // a segment run starts the converter too
  bool merge = false;              // merge the complete set of segments into NAME.*
  bool help = false;
  bool version = false;
};

// The options that decide the results of a run, as one line: a checkpoint
// is only resumed with the same ones.
std::string ResultOptionsText(const Options& options);

struct OptionsResult {
  std::optional<Options> options;
  std::string error;  // one line saying what is wrong, when options is empty
};

// Each option at most once: a second one is refused rather than silently
// overriding the first.
OptionsResult ParseOptions(const std::vector<std::string>& arguments);

// The columns that --step and --damping select, right to left, before any
// --segment.
std::vector<std::int32_t> SelectedColumns(const Options& options);
// The columns the run evaluates, in the order it does: those selected, or
// those of its segment; left to right with --ascending.
std::vector<std::int32_t> RunColumns(const Options& options);
// Whether the options select at least one column to evaluate.
bool SelectsAnyColumn(const Options& options);
// The name of the run's files: NAME, or NAME.segI-K for a segment.
std::string RunName(const std::string& base_name, const Options& options);
std::string UsageText();
// What --help prints: the usage and what each option does.
std::string HelpText();
