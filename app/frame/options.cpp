#include "app/frame/options.hpp"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <set>
#include <string_view>
#include <utility>

#include "app/files/number_text.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/flow_engine.hpp"
#include "app/spectrum/spectrum_engine.hpp"
#include "runtime/printable.hpp"

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
  if (options.spectrum > 0) line += " spectrum=" + std::to_string(options.spectrum);
  if (options.members > 1) line += " members=" + std::to_string(options.members);
  if (options.seed != 0) line += " seed=" + std::to_string(options.seed);
  if (options.ascending) line += " ascending";
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

// Most seconds --time-limit takes, and most passes --passes.
constexpr double MostSeconds = 1e9;
constexpr std::int32_t MostPasses = 2000000000;
// Most members of a column: 128 batches of the engine's eight lanes.
constexpr std::int32_t MostMembers = 1024;
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

std::optional<std::string> read_members(const std::string& value, Reading& reading) {
  const std::optional<std::int32_t> members = parse_integer<std::int32_t>(value, 1, MostMembers);
  if (!members) return refusal("--members takes a whole number from 1 to " + std::to_string(MostMembers), value);
  reading.options.members = *members;
  return std::nullopt;
}

std::optional<std::string> read_spectrum(const std::string& value, Reading& reading) {
  const std::optional<int> count = parse_integer<int>(value, 1, SpectrumMostTangents);
  if (!count) return refusal("--spectrum takes a whole number from 1 to 32", value);
  reading.options.spectrum = *count;
  return std::nullopt;
}

// --spectrum's count may be left out (all 32): the next argument is its
// count only when it is a number.
bool HasCountAfter(const std::vector<std::string>& arguments, std::size_t i) {
  if (i + 1 >= arguments.size()) return false;
  const std::string& next = arguments[i + 1];
  return !next.empty() && next.find_first_not_of("0123456789") == std::string::npos;
}

std::optional<std::string> read_seed(const std::string& value, Reading& reading) {
  const std::optional<std::uint32_t> seed = parse_integer<std::uint32_t>(value);
  if (!seed) return refusal("--seed takes a whole number from 0 to 4294967295", value);
  reading.options.seed = *seed;
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
    {"--tolerance", nullptr, read_tolerance}, {"--members", nullptr, read_members},
    {"--ascending", &Options::ascending},  {"--seed", nullptr, read_seed},
    {"--spectrum", nullptr, read_spectrum},
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
  if (options.members > 1 && !options.flow) return refused("--members goes with --flow");
  if (options.members > 1 && options.passes == 0)
    return refused("--members needs --passes: every member runs to the budget unless it escapes");
  if (options.spectrum > 0 && !options.flow) return refused("--spectrum goes with --flow");
  if (options.spectrum > 0 && options.members > 1)
    return refused("--spectrum goes without --members (the members share the batch engine's vectors, a tangent each)");
  if (options.seed != 0 && options.members <= 1) return refused("--seed goes with --members");
  if (options.ascending && (options.segment || options.merge))
    return refused("--ascending goes with neither --segment nor --merge");
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
    if (!argument.value && kind->read_value == read_spectrum && !HasCountAfter(arguments, i)) {
      reading.options.spectrum = SpectrumMostTangents;
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
  std::vector<std::int32_t> selected = SelectedColumns(options);
  if (options.ascending) std::reverse(selected.begin(), selected.end());
  return options.segment ? segment_columns(selected, *options.segment) : selected;
}

bool SelectsAnyColumn(const Options& options) { return !RunColumns(options).empty(); }

std::string RunName(const std::string& base_name, const Options& options) {
  return options.segment ? base_name + ".seg" + segment_tag(*options.segment) : base_name;
}
