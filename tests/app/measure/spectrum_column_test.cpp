// Columns under --spectrum: the trajectory is --flow's bit for bit, the
// first tangent is the column's own (its exponent the column's over the
// same passes), the sum of the 32 meets the trace, and what a capture
// takes back from the column it takes back from the spectrum.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "app/measure/column.hpp"
#include "app/measure/column_host.hpp"
#include "app/measure/spectrum_member.hpp"
#include "app/model/flow_reference.hpp"
#include "app/spectrum/spectrum_measure.hpp"
#include "runtime/random.hpp"

namespace {

struct Outcome {
  ColumnResult result;
  FlockState end{};
};

Outcome RunFrom(const FlockState& start, std::int32_t column, std::int32_t passes, int spectrum) {
  SweepSettings settings;
  settings.flow = true;
  settings.spectrum = spectrum;
  settings.passes = passes;
  settings.time_limit = std::numeric_limits<double>::infinity();
  random_state() = RandomState{};
  QuietHost host;
  Outcome out;
  out.end = start;
  const FlockModel model{static_cast<Real>(column - Margin) * DampingMax / PlotWidth};
  const std::optional<ColumnResult> r = RunColumn(column, model, out.end, SweepCarry{}, settings, host, {});
  EXPECT_TRUE(r);
  if (r) out.result = *r;
  return out;
}

// 200 measured units in the chaotic band (damping 0.40125), the
// measurement's intervals ending on the budget's last pass.
TEST(SpectrumColumn, FollowsTheFlowTrajectoryAndMeasuresItsFirstTangent) {
  const FlockState start = flow_test::checkpoint_state();
  const Outcome flow = RunFrom(start, 371, 20999, 0);
  const Outcome spectrum = RunFrom(start, 371, 20999, 32);
  EXPECT_EQ(std::memcmp(flow.end.data(), spectrum.end.data(), sizeof(FlockState)), 0);
  EXPECT_EQ(flow.result.steps, spectrum.result.steps);
  EXPECT_EQ(flow.result.rejected_steps, spectrum.result.rejected_steps);
  EXPECT_EQ(flow.result.spectrum, std::nullopt);

  const ColumnResult& r = spectrum.result;
  ASSERT_TRUE(r.spectrum);
  const SpectrumLine& s = *r.spectrum;
  ASSERT_EQ(s.exponents.size(), 32u);
  ASSERT_EQ(r.measured_passes, 20000);
  // The first tangent's growth pass by pass and interval by interval: the
  // same logarithms summed another way.
  EXPECT_NEAR(static_cast<double>(s.exponents[0]), static_cast<double>(*r.tangent_exponent), 1e-12);
  // Its direction is not the flow tangent's, the trajectory is the same.
  ASSERT_TRUE(s.errors[0] && flow.result.standard_error);
  const double both = std::hypot(static_cast<double>(*s.errors[0]), static_cast<double>(*flow.result.standard_error));
  EXPECT_NEAR(static_cast<double>(s.exponents[0]), static_cast<double>(flow.result.exponent), 3 * both);
  EXPECT_GE(r.positive_exponents.value_or(0), 1);
  // The sum within its bound of the trace, which is the flow's divergence.
  EXPECT_NEAR(static_cast<double>(s.trace), static_cast<double>(r.mean_divergence), 1e-12);
  ASSERT_TRUE(r.sum_residual);
  EXPECT_LT(std::fabs(static_cast<double>(*r.sum_residual)), 1e-6 * std::fabs(static_cast<double>(s.trace)));
  // Over 200 units the zeros may not all be resolved yet; the sum is.
  EXPECT_TRUE(r.spectrum_certificate == "ok" || r.spectrum_certificate == "zeros") << r.spectrum_certificate;
}

// At 0.17375 the chaser captures flock bodies, whose collapsing pairs
// stretch the tangents by e^100 and more: every collapse taken back from
// the column is taken back from the spectrum (by whole intervals of 50
// passes), so that the two measure nearly the same passes.
TEST(SpectrumColumn, TakesBackWhatTheColumnTakesBack) {
  const FlockState start = flow_test::checkpoint_state("after_short_column_190");
  const Outcome o = RunFrom(start, 189, 60000, 4);
  const ColumnResult& r = o.result;
  ASSERT_TRUE(r.spectrum);
  ASSERT_GE(r.captures.value_or(0), 1);
  ASSERT_TRUE(r.tangent_exponent);
  const double column = static_cast<double>(*r.tangent_exponent);
  EXPECT_NEAR(static_cast<double>(r.spectrum->exponents[0]), column, 0.05 * std::fabs(column) + 0.01);
  // Four exponents are too few to check the sum against the trace.
  EXPECT_FALSE(r.sum_residual);
}

// The intervals kept, pass by pass on the engine itself: what is taken back
// from a pass on goes by whole intervals, and the first exponent is the
// column's log growth over the passes kept.
TEST(SpectrumColumn, TakesBackWholeIntervals) {
  ColumnPass pass;
  pass.model = FlockModel{0.40125L};
  pass.ref = flow_test::checkpoint_state();
  pass.flow = true;
  SpectrumMemberEngine engine(3, FlowDefaultTolerance);
  engine.start(pass);
  SweepCarry carry;
  // The measurement starts at pass 1000; its 40 intervals end at 1049,
  // 1099, ..., 2999.
  while (pass.Iteration < 2999) {
    ++pass.Iteration;
    ASSERT_TRUE(engine.advance(pass));
    engine.finish(pass, carry, nullptr);
  }
  const SpectrumSummary whole = engine.summary();
  const Real span = static_cast<Real>(static_cast<double>(TimeStep));
  EXPECT_EQ(whole.time, 2000 * span);
  EXPECT_NEAR(static_cast<double>(whole.exponents[0] * whole.time), static_cast<double>(pass.LogSum), 1e-10);
  struct Case {
    std::int32_t from;
    std::int32_t kept;  // passes
  } cases[] = {{3000, 2000}, {2999, 1950}, {2500, 1500}, {2499, 1450}, {1050, 50}, {1000, 0}};
  for (const Case& c : cases) {
    engine.take_back(c.from);
    EXPECT_EQ(engine.summary().time, c.kept * span) << "from " << c.from;
  }
}

}  // namespace
