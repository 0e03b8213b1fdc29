// flockchase-probe: the sub-step counts, close encounters and tangent growth
// along a sweep's reference trajectory, at the program's step tolerance or
// another.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/files/checkpoint.hpp"
#include "app/measure/parameters.hpp"
#include "runtime/printable.hpp"
#include "tools/probe/arguments.hpp"
#include "tools/probe/encounters.hpp"

namespace {

void print_report(const ProbeInvocation& invocation, const Checkpoint& checkpoint, const ProbeStats& s) {
  std::printf("start: the state after column %d of %s\n", static_cast<int>(checkpoint.column),
              escape_controls(invocation.checkpoint).c_str());
  std::printf("damping %.6Lg, %ld steps, tolerance %.6Lg, at most %d sub-steps\n", invocation.damping, s.steps,
              invocation.settings.tolerance, invocation.settings.max_sub_steps);
  std::printf("tangent exponent: %.4Lf\n", s.exponent);
  std::printf("steps by sub-steps (2, 3-10, 11-100, 101-1000, more): %ld %ld %ld %ld %ld\n", s.sub_steps[0],
              s.sub_steps[1], s.sub_steps[2], s.sub_steps[3], s.sub_steps[4]);
  std::printf("most sub-steps in a step: %d (steps at the cap: %ld)\n", s.largest_sub_steps, s.at_cap);
  std::printf("chaser's closest approach to a flock body: %.3Lg\n", s.closest);
  std::printf("steps ending with the chaser within %.2Lg of a body: %ld, carrying %.4Lf of the exponent\n",
              NearDistance, s.near_steps, s.near_exponent);
  std::printf("steps growing the tangent more than %.0Le times: %ld, carrying %.4Lf of the exponent\n",
              LargeGrowth, s.large_growths, s.large_exponent);
  std::printf("last step ending with the chaser within %.2Lg of a body: %ld (0: none)\n", CloseDistance,
              s.last_close_step);
  const double g = PairDrag(static_cast<double>(invocation.damping));
  std::printf("captures declared (the pair's drag g = %.6g): %zu\n", g, s.captures.size());
  for (const CaptureEvent& e : s.captures) {
    std::printf("  capture of body %d declared at t = %.2f (collapse from t = %.2f), distance %.3g, "
                "energy slope %.5g (-(5/3) g = %.5g), collapse rate %.5g\n",
                e.body, static_cast<double>(e.declared) * static_cast<double>(TimeStep),
                static_cast<double>(e.start - 1) * static_cast<double>(TimeStep), e.distance, e.energy_slope,
                -5.0 / 3.0 * g, e.collapse_rate);
  }
  std::printf("final positions (x, y), bodies 1 to 7 and the chaser:");
  for (int b = 0; b <= FlockBodies; ++b)
    std::printf(" (%.4Lg, %.4Lg)", s.final_state[ComponentsPerBody * b + 1], s.final_state[ComponentsPerBody * b + 2]);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ProbeInvocation invocation = parse_probe_arguments(arguments);
  switch (invocation.action) {
    case ProbeAction::Help:
      std::fputs(std::string(probe_help_text()).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ProbeAction::UsageError:
      std::fprintf(stderr, "flockchase-probe: %s\n%s\n", invocation.problem.c_str(),
                   std::string(probe_usage_line()).c_str());
      return 2;
    case ProbeAction::Probe:
      break;
  }
  std::string error;
  const std::optional<Checkpoint> checkpoint = read_checkpoint(invocation.checkpoint, error);
  if (!checkpoint) {
    std::fprintf(stderr, "flockchase-probe: %s\n", escape_controls(error).c_str());
    return 1;
  }
  // A NaN or an infinity in the state would make every step crawl to its
  // sub-step cap and report nan: no probe of that is worth its time.
  for (int i = 1; i <= StateSize; ++i) {
    if (!std::isfinite(checkpoint->ref_state[i])) {
      std::fprintf(stderr, "flockchase-probe: %s: the reference state is not finite (component %d)\n",
                   escape_controls(invocation.checkpoint).c_str(), i);
      return 1;
    }
  }
  FlockModel model;
  model.FlockDamping = invocation.damping;
  FlockState start{};
  for (int i = 1; i <= StateSize; ++i) start[i] = checkpoint->ref_state[i];
  const ProbeStats stats = ProbeReference(model, start, invocation.settings);
  if (stats.stopped_step != 0) {
    // Figures of a walk that ended in NaN would tell nothing true.
    const std::string before =
        stats.stopped_step > 1 ? "; --steps " + std::to_string(stats.stopped_step - 1) + " reports the steps before" : "";
    std::fprintf(stderr,
                 "flockchase-probe: %s: the %s is no longer finite at t = %.2f (after step %ld of %ld), and the model "
                 "cannot go on from it: nothing is reported%s\n",
                 escape_controls(invocation.checkpoint).c_str(), stats.tangent_stopped ? "tangent" : "state",
                 static_cast<double>(stats.stopped_step) * static_cast<double>(TimeStep), stats.stopped_step,
                 invocation.settings.steps, before.c_str());
    return 1;
  }
  print_report(invocation, *checkpoint, stats);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
