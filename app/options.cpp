#include "app/options.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool parse_int(const std::string& text, long low, long high, int& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < low || value > high) return false;
  out = static_cast<int>(value);
  return true;
}

bool parse_seconds(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(value) || value <= 0 || value > 1e9) return false;
  out = value;
  return true;
}

}  // namespace

std::string UsageText() {
  return "usage: flockchase [--step N] [--time-limit SECONDS] [--headless] [--help] [--version]";
}

std::string HelpText() {
  return UsageText() + R"(

Measures the largest Lyapunov exponent of a planar eight-body chase model
(seven flock bodies fleeing a chaser) for 799 flock dampings from 0.99875
down to 0.00125, one per pixel column of the chart, right to left. Prints
one report line per column and draws the curve in a window of its own
(off-screen without a display). At the end prints "Done!", saves the chart
as NAME.bmp in the current directory (NAME is the program's name), runs
"picvec NAME" on it and waits for a key. Esc, read at a convergence test,
ends the run at once without saving.

Report line: damping, exponent, a plus-minus sign, the spread of the last
1000 running estimates, the mean divergence of the flow.

  --step N              evaluate every Nth column from the right (1..799);
                        the curve joins the evaluated points (default 1)
  --time-limit SECONDS  elapsed time after which a column ends with a beep
                        (default 100)
  --headless            draw off-screen even when a display is present
  --help                print this text
  --version             print the version)";
}

OptionsResult ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::string value;
    bool has_value = false;
    if (std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    auto take_value = [&]() -> bool {
      if (has_value) return true;
      if (i + 1 >= arguments.size()) return false;
      value = arguments[++i];
      return true;
    };
    auto no_value = [&](const std::string& what) -> OptionsResult {
      return {std::nullopt, "flockchase: " + what + " needs a value"};
    };
    if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else if (name == "--headless") {
      options.headless = true;
    } else if (name == "--step") {
      if (!take_value()) return no_value(name);
      if (!parse_int(value, 1, 799, options.step))
        return {std::nullopt, "flockchase: --step takes a whole number from 1 to 799, not '" + value + "'"};
    } else if (name == "--time-limit") {
      if (!take_value()) return no_value(name);
      if (!parse_seconds(value, options.time_limit))
        return {std::nullopt, "flockchase: --time-limit takes a positive number of seconds, not '" + value + "'"};
    } else {
      return {std::nullopt, "flockchase: unknown option '" + arguments[i] + "'"};
    }
    if (has_value && (name == "--help" || name == "--version" || name == "--headless" || name == "-h"))
      return {std::nullopt, "flockchase: " + name + " takes no value"};
  }
  return {options, {}};
}
