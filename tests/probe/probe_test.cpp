// The probe follows the sweep's own map, counts the chaser's approaches
// right, and as a program refuses what it cannot use with one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <sys/stat.h>

#include "app/files/checkpoint.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/integrator.hpp"
#include "app/model/model_test_support.hpp"
#include "process_support.hpp"
#include "tools/probe/arguments.hpp"
#include "tools/probe/encounters.hpp"

namespace fs = std::filesystem;

namespace {

FlockState typical_state(std::uint64_t seed) {
  FlockState s{};
  model_test::StateMaker(seed).typical(s.data());
  return s;
}

TEST(ProbeReference, AtTheProgramsToleranceFollowsStepAdaptiveBitForBit) {
  FlockModel model;
  model.FlockDamping = 0.2L;
  for (std::uint64_t seed : {1u, 2u, 3u}) {
    FlockState start = typical_state(seed);
    start[1] = Pi - 0.001L;  // body 1 about to cross x = pi: its position folds
    start[3] = 0.5L;
    ProbeSettings settings;
    settings.steps = 300;
    const ProbeStats probed = ProbeReference(model, start, settings);
    FlockState y = start;
    Real dydx[StateSize + 1];
    int largest = 0;
    for (int step = 0; step < 300; ++step) largest = std::max(largest, StepAdaptive(model, y.data(), dydx, TimeStep, y.data()));
    for (int i = 1; i <= StateSize; ++i) ASSERT_TRUE(model_test::same(probed.final_state[i], y[i])) << seed << " " << i;
    EXPECT_EQ(probed.largest_sub_steps, largest) << seed;
    long counted = 0;
    for (long c : probed.sub_steps) counted += c;
    EXPECT_EQ(counted, 300) << seed;

    // A finer tolerance is another integration: more sub-steps, other bits.
    settings.tolerance = StepTolerance / 10000;
    settings.max_sub_steps = 100000;
    const ProbeStats finer = ProbeReference(model, start, settings);
    EXPECT_GT(finer.largest_sub_steps, probed.largest_sub_steps) << seed;
    EXPECT_NE(finer.final_state, probed.final_state) << seed;
  }
}

TEST(ProbeReference, CountsTheChasersApproaches) {
  struct Case {
    Real gap;  // the chaser's distance to body 3 at the start; all at rest
    long near;
  } cases[] = {{0.5L, 0}, {0.05L, 1}};
  for (const Case& c : cases) {
    FlockState s{};
    for (int b = 0; b < FlockBodies; ++b) s[ComponentsPerBody * b + 1] = b;  // a row at spacing 1
    s[ChaserOffset + 1] = 2;
    s[ChaserOffset + 2] = c.gap;
    EXPECT_EQ(ChaserClearance(s.data()), c.gap);
    FlockModel model;
    model.FlockDamping = 0.5L;
    ProbeSettings settings;
    settings.steps = 1;
    const ProbeStats stats = ProbeReference(model, s, settings);
    EXPECT_EQ(stats.near_steps, c.near) << c.gap;
    EXPECT_EQ(stats.last_close_step, 0) << c.gap;
    // Both close in on each other within the step, by less than a tenth.
    EXPECT_LT(stats.closest, c.gap) << c.gap;
    EXPECT_GT(stats.closest, c.gap * 0.9L) << c.gap;
  }
}

TEST(ProbeReference, ReportsACollapseOnceWithItsRate) {
  // The chaser on a tight circular orbit around body 1 (relative speed
  // sqrt(5/3), body 1 moving so that the pair's force-free point 3 r_1 -
  // 2 r_chaser stays put), the other bodies far away: at 0.15 the orbit
  // collapses at g = 0.5 and is declared once, however long it goes on; at
  // 0.3 it comes apart.
  FlockState s{};
  for (int b = 1; b < FlockBodies; ++b) {
    s[ComponentsPerBody * b + 1] = 1000.0L * b;
    s[ComponentsPerBody * b + 2] = 1000.0L;
  }
  const Real v = std::sqrt(5.0L / 3.0L);
  s[ChaserOffset + 1] = 0.005L;
  s[ChaserOffset + 4] = 3 * v;
  s[4] = 2 * v;
  ProbeSettings settings;
  settings.steps = 1500;
  FlockModel model;
  model.FlockDamping = 0.15L;
  const ProbeStats caught = ProbeReference(model, s, settings);
  ASSERT_EQ(caught.captures.size(), 1u);
  EXPECT_EQ(caught.captures[0].body, 1);
  EXPECT_NEAR(caught.captures[0].collapse_rate, 0.5, 1e-3);
  EXPECT_LT(caught.captures[0].start, caught.captures[0].declared);
  model.FlockDamping = 0.3L;
  EXPECT_TRUE(ProbeReference(model, s, settings).captures.empty());
}

TEST(ProbeArguments, RefusesWhatItCannotUse) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"only.checkpoint"},
      {"a", "0.5", "extra"},
      {"a", "1.5"},
      {"a", "nan"},
      {"--steps", "0", "a", "0.5"},
      {"--steps", "x", "a", "0.5"},
      {"--tolerance", "0", "a", "0.5"},
      {"--tolerance", "inf", "a", "0.5"},
      {"--max-sub-steps", "1", "a", "0.5"},
      {"--max-sub-steps"},
      {"--frobnicate", "a", "0.5"},
      {"--steps", "10", "--steps", "10", "a", "0.5"},
      {"--help", "--help"},
  };
  for (const auto& arguments : refused) {
    EXPECT_EQ(parse_probe_arguments(arguments).action, ProbeAction::UsageError) << ::testing::PrintToString(arguments);
  }
  const ProbeInvocation ok = parse_probe_arguments({"--steps", "7", "--tolerance", "1e-12", "--max-sub-steps", "5000", "c", "0.25"});
  ASSERT_EQ(ok.action, ProbeAction::Probe);
  EXPECT_EQ(ok.settings.steps, 7);
  EXPECT_EQ(ok.settings.tolerance, 1e-12L);
  EXPECT_EQ(ok.settings.max_sub_steps, 5000);
  EXPECT_EQ(ok.checkpoint, "c");
  EXPECT_EQ(ok.damping, 0.25L);
}

TEST(ProbeProgram, ReportsFromACheckpointAndRefusesADamagedOne) {
  TempDir dir;
  Checkpoint checkpoint;
  checkpoint.options = "step=1 time_limit=inf damping=0:1 robust passes=400000";
  checkpoint.column = 300;
  checkpoint.results_lines = 550;
  const FlockState s = typical_state(7);
  for (int i = 1; i <= StateSize; ++i) checkpoint.ref_state[i] = s[i];
  std::string text = checkpoint_text(checkpoint);
  const fs::path good = dir.path / "good.checkpoint";
  write_file(good, std::vector<std::uint8_t>(text.begin(), text.end()));

  ProcessResult run = run_process({PROBE_BINARY, "--steps", "50", good.string(), "0.3"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("start: the state after column 300 of"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("tangent exponent: "), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");

  text[text.find("ref_state") + 12] ^= 1;  // one character of the state
  const fs::path damaged = dir.path / "damaged.checkpoint";
  write_file(damaged, std::vector<std::uint8_t>(text.begin(), text.end()));
  for (const fs::path& path : {damaged, dir.path / "missing.checkpoint"}) {
    run = run_process({PROBE_BINARY, path.string(), "0.3"});
    EXPECT_EQ(run.exit_code, 1) << path;
    EXPECT_EQ(run.out, "") << path;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  // Bad command lines: one line (control bytes escaped) and the usage.
  struct Bad {
    std::vector<std::string> arguments;
    const char* said;
  };
  const Bad bad[] = {
      {{"--steps", "-3", good.string(), "0.3"}, "--steps must be a whole number from 1 to 1000000000: -3"},
      {{"--steps", "10\n", good.string(), "0.3"}, "--steps must be a whole number from 1 to 1000000000: 10\\n"},
      {{"--tolerance", "1e-9\r", good.string(), "0.3"}, "--tolerance must be a positive number: 1e-9\\r"},
      {{good.string(), "0.3\n"}, "the damping must be a number from 0 to 1: 0.3\\n"},
      {{"--st\neps", "10", good.string(), "0.3"}, "unknown option --st\\neps"},
      // Each option at most once, as flockchase has it.
      {{"--steps", "10", "--steps", "10", good.string(), "0.3"}, "--steps is given more than once"},
      {{"--tolerance", "1e-9", good.string(), "--tolerance", "1e-9", "0.3"}, "--tolerance is given more than once"},
      {{"--max-sub-steps", "9", "--max-sub-steps", "10", good.string(), "0.3"},
       "--max-sub-steps is given more than once"},
      {{"--help", "-h"}, "-h is given more than once"},
  };
  for (const Bad& b : bad) {
    std::vector<std::string> argv{PROBE_BINARY};
    argv.insert(argv.end(), b.arguments.begin(), b.arguments.end());
    run = run_process(argv);
    EXPECT_EQ(run.exit_code, 2) << b.said;
    EXPECT_EQ(run.out, "") << b.said;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    EXPECT_EQ(run.err.rfind(std::string("flockchase-probe: ") + b.said + "\nusage: ", 0), 0u) << run.err;
  }
}

TEST(ProbeProgram, RefusesANonFiniteStateAndInputsThatAreNotFiles) {
  TempDir dir;
  Checkpoint checkpoint;
  checkpoint.options = "step=1 time_limit=inf damping=0:1";
  checkpoint.column = 300;
  checkpoint.results_lines = 550;
  const FlockState s = typical_state(7);
  for (int i = 1; i <= StateSize; ++i) checkpoint.ref_state[i] = s[i];
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> make;
    const char* said;
  };
  auto with_state = [&](Real value) {
    return [&checkpoint, value](const fs::path& path) {
      Checkpoint c = checkpoint;
      c.ref_state[3] = value;
      const std::string text = checkpoint_text(c);
      write_file(path, std::vector<std::uint8_t>(text.begin(), text.end()));
    };
  };
  // A finite state that the model cannot take: the walk stops where it is
  // no longer finite, at the first step here.
  auto with = [&](std::function<void(FlockState&)> edit) {
    return [&checkpoint, edit](const fs::path& path) {
      FlockState state{};
      for (int i = 1; i <= StateSize; ++i) state[i] = checkpoint.ref_state[i];
      edit(state);
      Checkpoint c = checkpoint;
      for (int i = 1; i <= StateSize; ++i) c.ref_state[i] = state[i];
      const std::string text = checkpoint_text(c);
      write_file(path, std::vector<std::uint8_t>(text.begin(), text.end()));
    };
  };
  // Every body's position set to (x, y).
  auto all_at = [](Real x, Real y) {
    return [x, y](FlockState& s) {
      for (int b = 0; b <= FlockBodies; ++b) {
        s[ComponentsPerBody * b + 1] = x;
        s[ComponentsPerBody * b + 2] = y;
      }
    };
  };
  const char* const stops = "state is no longer finite at t = 0.01 (after step 1 of 400000)";
  const Case cases[] = {
      {"NaN in the state", with_state(std::numeric_limits<Real>::quiet_NaN()), "not finite"},
      {"infinity in the state", with_state(std::numeric_limits<Real>::infinity()), "not finite"},
      {"a FIFO", [](const fs::path& path) { ASSERT_EQ(mkfifo(path.c_str(), 0666), 0); }, "FIFO"},
      {"the chaser on a flock body", with([](FlockState& s) {
         s[ChaserOffset + 1] = s[1];
         s[ChaserOffset + 2] = s[2];
       }), stops},
      {"every body at one point", with(all_at(0.5L, -0.25L)), stops},
      {"every body at one far point", with(all_at(1e300L, 1e300L)), stops},
      {"all zeros", with([](FlockState& s) { s.fill(0); }), stops},
      {"every component 1e-300", with([](FlockState& s) {
         for (int i = 1; i <= StateSize; ++i) s[i] = 1e-300L * (i % 2 ? 1 : -1);
       }), stops},
      {"a component of 1e4000", with([](FlockState& s) { s[1] = 1e4000L; }),
       "tangent is no longer finite at t = 0.01 (after step 1 of 400000)"},
  };
  for (const Case& c : cases) {
    const fs::path path = dir.path / (std::string(c.what) + ".checkpoint");
    c.make(path);
    // A hang, or a walk crawling at its sub-step cap, is killed.
    const ProcessResult run = run_process({"timeout", "-s", "KILL", "20", PROBE_BINARY, path.string(), "0.3"});
    EXPECT_EQ(run.exit_code, 1) << c.what << ": " << run.err;
    EXPECT_EQ(run.out, "") << c.what;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << c.what << ": " << run.err;
  }
}

}  // namespace
