#include "app/frame/options.hpp"

#include <cstdio>
#include <limits>
#include <set>
#include <string_view>
#include <utility>

#include "app/files/number_text.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/flow_engine.hpp"
#include "runtime/printable.hpp"

std::string UsageText() {
  return "usage: flockchase [--step N] [--time-limit SECONDS] [--damping LOW:HIGH] [--threads 1|2]\n"
         "                  [--robust] [--tangent] [--passes N] [--target-error E]\n"
         "                  [--flow [--tolerance E]]\n"
         "                  [--segment I/K [--convert]] [--merge]\n"
         "                  [--history FILE] [--resume] [--headless] [--help] [--version]";
}

std::string ResultOptionsText(const Options& options) {
  char text[160];
  std::snprintf(text, sizeof text, "step=%d time_limit=%.17g damping=", options.step, options.time_limit);
  // Only the measurement options given, so that a plain run's checkpoint
  // reads as ever.
  std::string line = text + options.damping.text;
  if (options.robust) line += " robust";
  if (options.tangent) line += " tangent";
  if (options.flow) {
    std::snprintf(text, sizeof text, " flow tolerance=%.17g", options.tolerance.value_or(FlowDefaultTolerance));
    line += text;
  }
  if (options.passes > 0) line += " passes=" + std::to_string(options.passes);
  if (options.target_error) {
    std::snprintf(text, sizeof text, " target_error=%.17g", *options.target_error);
    line += text;
  }
  if (options.segment) {
    line += " segment=" + std::to_string(options.segment->index) + "/" + std::to_string(options.segment->count);
  }
  return line;
}

namespace {

// What the program does and what its report line says.
constexpr std::string_view AboutHelp = R"(Measures the largest Lyapunov exponent of a planar eight-body chase model
(seven flock bodies fleeing a chaser) for 799 flock dampings from 0.99875
down to 0.00125, one per pixel column of the chart, right to left. Prints
one report line per column and draws the curve in a window of its own
(off-screen without a display). At the end prints "Done!", saves the chart
as NAME.bmp in the current directory (NAME is the program's name), runs
"picvec NAME" on it and waits for a key. Esc, read at a convergence test,
ends the run at once without saving. Every finished column is written to
NAME.csv at once, and NAME.checkpoint lets --resume continue a stopped run.

Report line: damping, exponent, a plus-minus sign, the spread of the last
1000 running estimates, the mean divergence of the flow.)";

// The options that choose the columns and how long each may take.
constexpr std::string_view SweepOptionsHelp = R"(  --step N              evaluate every Nth column from the right (1..799);
                        the curve joins the evaluated points (default 1)
  --time-limit SECONDS  elapsed time after which a column ends with a beep
                        (default 100; none when --passes is given alone)
  --damping LOW:HIGH    evaluate only the columns whose damping lies in
                        [LOW, HIGH] (decimal numbers, 0 <= LOW <= HIGH <= 1,
                        compared exactly: 0.9:0.9 is column 770); the chart
                        still spans 0 to 1
  --threads 1|2         advance the two trajectories of a pass one after the
                        other (1) or at the same time (2); the results are
                        the same bits (default: 2 when the machine has at
                        least two cores; --flow always uses one))";

// The options of how a column is measured.
constexpr std::string_view MeasurementOptionsHelp = R"(  --robust              step the shadow by the reference's own map: the
                        sub-step count the reference's step chose and the
                        2 pi folds it made; a pass whose separation grew
                        beyond 1e-4 is renormalised and measured all the
                        same (counted in large_passes). Without it, such a
                        pass measures nothing, the separation keeps growing
                        and the column runs to its limit unmeasured: at low
                        damping most columns do. The default keeps the
                        classic behaviour bit for bit.
  --tangent             also estimate the exponent from the tangent
                        dynamics: a tangent vector carried through the
                        reference's steps, normalised every pass, averaged
                        over the same measured passes; written to the
                        results file (tangent_exponent,
                        tangent_standard_error), not to the report or chart.
                        Costs about twice the time of a pass.
  --flow                measure the exponent of the model's equations
                        themselves rather than of the classic step: the
                        reference state and its tangent integrated in
                        double by an adaptive Dormand-Prince 5(4) method
                        (error control on the state alone), the tangent
                        normalised and its growth measured every 0.01, the
                        2 pi folds applied there; no shadow. The exponent
                        reported is the tangent's; the mean divergence is
                        the trace of the model's Jacobian. Columns end as
                        without it, or as stalled when the engine cannot go
                        on (below damping 0.225, stopped in a captured pair,
                        it is a capture and the column goes on). About 20
                        times faster than --robust --tangent.
                        Not with --robust; --threads 2 and --tangent add
                        nothing to it
  --tolerance E         with --flow: the engine's absolute and relative
                        error tolerance per state component, 1e-16 < E < 1
                        (default 1e-8)
  --passes N            a column ends after its Nth pass (end pass_limit)
                        unless something ended it before. Without
                        --time-limit no time limit applies then, so a run
                        gives the same bits on every machine
  --target-error E      a column converges when the batch-means standard
                        error of its exponent is below E with at least 20
                        blocks of 1000 measured passes, instead of when the
                        spread is below 0.001. The exponent reported and
                        drawn is then the running mean over the measured
                        passes (the value the standard error belongs to), the
                        plus-minus figure is the standard error (the spread
                        where the column has fewer than two blocks), and the
                        extrapolated limit goes to the results file
                        (extrapolated): where the running estimate jumps,
                        the extrapolation can lie far from it

With any of these options (and --flow) a column watches for captures: below
damping 0.225 the chaser can catch a flock body into a collapsing orbit
(bound, its energy falling at (5/3) g, g = 1.5 - 20 damping / 3), which no
step follows. What was measured from a collapse's start is taken back and
the column goes on from a fresh random state; the results file tells
  regime                chaotic (no capture), transient (captures; the
                        exponent is that of the chaotic phases) or captured
                        (nothing measured before every capture: no exponent)
  captures              the captures declared in the column
  chaotic_time          the model time measured, in chaotic phases
  capture_rate          captures per unit of model time spent before them
  collapse_rate         the captured pairs' mean decay rate, to set beside g
and then the integrator's fields
  integrator            step (the classic step) or dopri5 (--flow)
  tolerance             the integrator's error tolerance
  steps                 --flow: the engine's accepted steps in the column
  rejected_steps        --flow: the steps it tried and refused
)";

// Sweeps split over machines.
constexpr std::string_view SegmentOptionsHelp = R"(  --segment I/K         run only the I-th of K contiguous, nearly equal groups
                        of the columns the other options select (right to
                        left), for K machines or processes: starts from the
                        initial state at the group's first column and writes
                        NAME.segI-K.csv, .checkpoint (kept at the end: the
                        merge checks it) and .bmp; resumable with --resume
                        --segment I/K. Starts the converter only with
                        --convert
  --convert             with --segment: start the converter at the end
  --merge               merge the complete set of NAME.segI-K.csv here, made
                        with the same options as given now, into NAME.csv
                        (with a segment field), draw its chart, save NAME.bmp
                        and run the converter, as a run ends)";

// The history, resuming, the display and the program itself.
constexpr std::string_view RunOptionsHelp = R"(  --history FILE        write the convergence history of every column to
                        FILE: a line per 1000 measured passes; a device or
                        a FIFO (/dev/null, a pipe) is written into as it is,
                        and none of the run's own files is taken
  --resume              continue a stopped sweep from NAME.checkpoint in the
                        current directory, with the same --step, --time-limit,
                        --damping and measurement options; a history is cut
                        back to the checkpoint's column
  --headless            draw off-screen even when a display is present
  --help                print this text
  --version             print the version)";

}  // namespace

std::string HelpText() {
  std::string text = UsageText() + "\n\n" + std::string(AboutHelp) + "\n\n";
  text += SweepOptionsHelp;
  for (std::string_view options : {MeasurementOptionsHelp, SegmentOptionsHelp, RunOptionsHelp}) {
    text += '\n';
    text += options;
  }
  return text;
}

namespace {

// Most seconds --time-limit takes, and most passes --passes.
constexpr double MostSeconds = 1e9;
constexpr std::int32_t MostPasses = 2000000000;
// The help and the refusals of --step and --segment name the column count.
static_assert(ColumnCount == 799);

// A positive, finite number of at most `most`.
std::optional<double> parse_positive(const std::string& text, double most) {
  const std::optional<double> value = parse_finite_double(text);
  if (!value || !(*value > 0) || *value > most) return std::nullopt;
  return value;
}

// The options so far, as ParseOptions reads them.
struct Reading {
  Options options;
  bool time_limit_given = false;
};

// What an option takes, and the value that it is not, shown on the one
// line whatever bytes it holds.
std::string refusal(std::string_view takes, const std::string& value) {
  return std::string(takes) + ", not '" + escape_controls(value) + "'";
}

// The readers of the options' values: what is wrong with the value, or
// nothing once it is in the options.
using ValueReader = std::optional<std::string> (*)(const std::string& value, Reading& reading);

std::optional<std::string> read_step(const std::string& value, Reading& reading) {
  const std::optional<int> step = parse_integer<int>(value, 1, ColumnCount);
  if (!step) return refusal("--step takes a whole number from 1 to 799", value);
  reading.options.step = *step;
  return std::nullopt;
}

std::optional<std::string> read_time_limit(const std::string& value, Reading& reading) {
  reading.time_limit_given = true;
  const std::optional<double> seconds = parse_positive(value, MostSeconds);
  if (!seconds) return refusal("--time-limit takes a positive number of seconds", value);
  reading.options.time_limit = *seconds;
  return std::nullopt;
}

std::optional<std::string> read_threads(const std::string& value, Reading& reading) {
  const std::optional<int> threads = parse_integer<int>(value, 1, 2);
  if (!threads) return refusal("--threads takes 1 or 2", value);
  reading.options.threads = *threads;
  return std::nullopt;
}

std::optional<std::string> read_damping(const std::string& value, Reading& reading) {
  const std::optional<DampingRange> range = parse_damping_range(value);
  if (!range) return refusal("--damping takes LOW:HIGH, decimal numbers with 0 <= LOW <= HIGH <= 1", value);
  reading.options.damping = *range;
  return std::nullopt;
}

std::optional<std::string> read_history(const std::string& value, Reading& reading) {
  if (value.empty()) return "--history needs a file name";
  reading.options.history = value;
  return std::nullopt;
}

std::optional<std::string> read_passes(const std::string& value, Reading& reading) {
  const std::optional<std::int32_t> passes = parse_integer<std::int32_t>(value, 1, MostPasses);
  if (!passes) return refusal("--passes takes a whole number from 1 to 2000000000", value);
  reading.options.passes = *passes;
  return std::nullopt;
}

std::optional<std::string> read_target_error(const std::string& value, Reading& reading) {
  const std::optional<double> target = parse_positive(value, std::numeric_limits<double>::max());
  if (!target) return refusal("--target-error takes a positive number", value);
  reading.options.target_error = *target;
  return std::nullopt;
}

std::optional<std::string> read_tolerance(const std::string& value, Reading& reading) {
  const std::optional<double> tolerance = parse_positive(value, 1);
  if (!tolerance || !(*tolerance > 1e-16) || !(*tolerance < 1))
    return refusal("--tolerance takes a number between 1e-16 and 1", value);
  reading.options.tolerance = *tolerance;
  return std::nullopt;
}

std::optional<std::string> read_segment(const std::string& value, Reading& reading) {
  reading.options.segment = parse_segment(value);
  if (!reading.options.segment) return refusal("--segment takes I/K with 1 <= I <= K <= 799", value);
  return std::nullopt;
}

// An option: the flag it sets, or the reader of its value.
struct OptionKind {
  std::string_view name;
  bool Options::*flag = nullptr;
  ValueReader read_value = nullptr;
};

constexpr OptionKind OptionKinds[] = {
    {"--help", &Options::help},         {"-h", &Options::help},
    {"--version", &Options::version},   {"--headless", &Options::headless},
    {"--step", nullptr, read_step},     {"--time-limit", nullptr, read_time_limit},
    {"--threads", nullptr, read_threads}, {"--damping", nullptr, read_damping},
    {"--history", nullptr, read_history}, {"--robust", &Options::robust},
    {"--tangent", &Options::tangent},   {"--passes", nullptr, read_passes},
    {"--target-error", nullptr, read_target_error}, {"--segment", nullptr, read_segment},
    {"--convert", &Options::convert},   {"--merge", &Options::merge},
    {"--resume", &Options::resume},     {"--flow", &Options::flow},
    {"--tolerance", nullptr, read_tolerance},
};

const OptionKind* find_option(std::string_view name) {
  for (const OptionKind& kind : OptionKinds) {
    if (kind.name == name) return &kind;
  }
  return nullptr;
}

// One argument: the option's name, and its value when written --name=value.
struct Argument {
  std::string name;
  std::optional<std::string> value;
};

Argument split_argument(const std::string& text) {
  if (std::size_t eq = text.find('='); text.starts_with("--") && eq != std::string::npos)
    return {text.substr(0, eq), text.substr(eq + 1)};
  return {text, std::nullopt};
}

OptionsResult refused(const std::string& what) { return {std::nullopt, "flockchase: " + what}; }

// The options once all are read: the ones that do not go together are
// refused.
OptionsResult completed(Reading reading) {
  Options& options = reading.options;
  // A pass budget alone ends every column by its passes, whatever the
  // machine's speed.
  if (options.passes > 0 && !reading.time_limit_given) options.time_limit = std::numeric_limits<double>::infinity();
  if (options.merge && (options.segment || options.resume || !options.history.empty()))
    return refused("--merge goes with neither --segment, --resume nor --history");
  if (options.flow && options.robust)
    return refused("--flow goes without --robust (the one measures the model's flow, the other the classic step)");
  if (options.tolerance && !options.flow) return refused("--tolerance goes with --flow");
  if (options.convert && !options.segment)
    return refused("--convert goes with --segment (other runs always start the converter)");
  return {options, {}};
}

}  // namespace

OptionsResult ParseOptions(const std::vector<std::string>& arguments) {
  Reading reading;
  std::set<std::string> seen;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    Argument argument = split_argument(arguments[i]);
    const std::string& name = argument.name;
    if (!seen.insert(name == "-h" ? "--help" : name).second && name.starts_with("-"))
      return refused(name + " is given more than once");
    const OptionKind* kind = find_option(name);
    if (!kind) return refused("unknown option '" + escape_controls(arguments[i]) + "'");
    if (kind->flag) {
      if (argument.value) return refused(name + " takes no value");
      reading.options.*(kind->flag) = true;
      continue;
    }
    if (!argument.value) {
      if (i + 1 >= arguments.size()) return refused(name + " needs a value");
      argument.value = arguments[++i];
    }
    if (std::optional<std::string> wrong = kind->read_value(*argument.value, reading)) return refused(*wrong);
  }
  return completed(std::move(reading));
}
std::vector<std::int32_t> SelectedColumns(const Options& options) {
  std::vector<std::int32_t> columns;
  for (std::int32_t x = FirstColumn; x >= LastColumn; x -= options.step)
    if (options.damping.contains_column(x)) columns.push_back(x);
  return columns;
}

std::vector<std::int32_t> RunColumns(const Options& options) {
  const std::vector<std::int32_t> selected = SelectedColumns(options);
  return options.segment ? segment_columns(selected, *options.segment) : selected;
}

bool SelectsAnyColumn(const Options& options) { return !RunColumns(options).empty(); }

std::string RunName(const std::string& base_name, const Options& options) {
  return options.segment ? base_name + ".seg" + segment_tag(*options.segment) : base_name;
}
