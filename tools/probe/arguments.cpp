#include "tools/probe/arguments.hpp"

#include <cmath>
#include <set>

#include "app/files/number_text.hpp"
#include "runtime/printable.hpp"

namespace {

constexpr long MaxSteps = 1000000000;
constexpr int MaxSubStepCap = 1000000;

ProbeInvocation usage_error(std::string problem) {
  ProbeInvocation invocation;
  invocation.action = ProbeAction::UsageError;
  invocation.problem = std::move(problem);
  return invocation;
}

}  // namespace

// Each option at most once, as in flockchase: a second one is refused
// rather than silently overriding the first. The help comes once the whole
// command line is read, so that it never hides a bad one.
ProbeInvocation parse_probe_arguments(const std::vector<std::string>& arguments) {
  ProbeInvocation invocation;
  std::vector<std::string> operands;
  bool help = false;
  std::set<std::string> given;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    const bool option = a == "-h" || a == "--help" || a == "--steps" || a == "--tolerance" || a == "--max-sub-steps";
    if (option && !given.insert(a == "-h" ? "--help" : a).second) return usage_error(a + " is given more than once");
    if (a == "-h" || a == "--help") {
      help = true;
      continue;
    }
    if (a == "--steps" || a == "--tolerance" || a == "--max-sub-steps") {
      if (i + 1 == arguments.size()) return usage_error(a + " needs a value");
      const std::string& value = arguments[++i];
      if (a == "--steps") {
        const std::optional<long> steps = parse_integer<long>(value, 1, MaxSteps);
        if (!steps) return usage_error("--steps must be a whole number from 1 to 1000000000: " + escape_controls(value));
        invocation.settings.steps = *steps;
      } else if (a == "--tolerance") {
        const std::optional<Real> tolerance = parse_real(value);
        if (!tolerance || !std::isfinite(*tolerance) || !(*tolerance > 0))
          return usage_error("--tolerance must be a positive number: " + escape_controls(value));
        invocation.settings.tolerance = *tolerance;
      } else {
        const std::optional<int> cap = parse_integer<int>(value, 2, MaxSubStepCap);
        if (!cap) return usage_error("--max-sub-steps must be a whole number from 2 to 1000000: " + escape_controls(value));
        invocation.settings.max_sub_steps = *cap;
      }
      continue;
    }
    if (a.size() > 1 && a[0] == '-' && !parse_real(a)) return usage_error("unknown option " + escape_controls(a));
    operands.push_back(a);
  }
  if (help) {
    invocation.action = ProbeAction::Help;
    return invocation;
  }
  if (operands.size() != 2) return usage_error("give a checkpoint and a damping");
  invocation.checkpoint = operands[0];
  const std::optional<Real> damping = parse_real(operands[1]);
  if (!damping || !(*damping >= 0 && *damping <= 1))
    return usage_error("the damping must be a number from 0 to 1: " + escape_controls(operands[1]));
  invocation.damping = *damping;
  return invocation;
}

std::string_view probe_usage_line() {
  return "usage: flockchase-probe [--steps N] [--tolerance T] [--max-sub-steps K] CHECKPOINT DAMPING";
}

std::string_view probe_help_text() {
  return R"(usage: flockchase-probe [--steps N] [--tolerance T] [--max-sub-steps K] CHECKPOINT DAMPING

Follows the reference trajectory of a flockchase sweep from the state in
CHECKPOINT (a NAME.checkpoint of flockchase, or a segment's) at the flock
damping DAMPING (0 to 1), with a tangent vector carried through each step as
--tangent carries it, and tells what the steps cost and where the chaser
was: the tangent exponent, how many sub-steps the steps needed, how close
the chaser came to a flock body, and how much of the exponent was gained
in steps that ended with the chaser near a body. With a smaller tolerance
and a larger cap it shows whether an exponent depends on the step's
accuracy. Nothing is written but the report on standard output.

Options:
  --steps N            steps of 0.01 time units (default 400000, a column's
                       pass budget in the whole robust sweep)
  --tolerance T        the step-doubling error tolerance (default the
                       program's, 1e-8 in single precision)
  --max-sub-steps K    the cap on a step's sub-steps, 2 to 1000000 (default
                       1000, the program's)
  -h, --help           show this text and exit

To look at column C of a sweep, take the checkpoint written after column
C + 1 (resume a copy of the sweep and stop it there) and the damping
(C - 50) / 800.

Exit codes: 0 done, 1 the checkpoint cannot be read or is damaged, or the
state stops being finite along the way (one line gives the time), 2 bad
arguments.
)";
}
