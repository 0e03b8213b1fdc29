// The command line of flockchase-probe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/probe/encounters.hpp"

enum class ProbeAction { Probe, Help, UsageError };

struct ProbeInvocation {
  ProbeAction action = ProbeAction::Probe;
  std::string problem;  // for UsageError
  std::string checkpoint;
  Real damping = 0;
  ProbeSettings settings;
};

ProbeInvocation parse_probe_arguments(const std::vector<std::string>& arguments);
std::string_view probe_usage_line();
std::string_view probe_help_text();
