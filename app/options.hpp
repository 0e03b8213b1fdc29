// Command-line options. With none, the run is the full specified sweep.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct Options {
  int step = 1;                 // evaluate every step-th column from the right
  double time_limit = 100.0;    // seconds of elapsed time per column
  bool headless = false;        // draw off-screen even when a display is present
  bool help = false;
  bool version = false;
};

struct OptionsResult {
  std::optional<Options> options;
  std::string error;  // one line saying what is wrong, when options is empty
};

OptionsResult ParseOptions(const std::vector<std::string>& arguments);
std::string UsageText();
// What --help prints: the usage and what each option does.
std::string HelpText();
