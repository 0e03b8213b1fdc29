// The batch engine against its oracles, bit for bit: the vector right-hand
// side against FlowJoinedDerivs, and each lane against the scalar flow
// engine's passes, on every vector target this machine runs, whatever the
// other lanes hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/lanes/batch_engine.hpp"
#include "app/measure/flow_pass.hpp"
#include "app/measure/parameters.hpp"
#include "app/model/flow_engine.hpp"
#include "app/model/flow_reference.hpp"
#include "app/model/model_test_support.hpp"

namespace {

using flow_test::checkpoint_state;

// Equal bits, or both not a number (whose payloads no one reads).
bool same(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

const double Span = static_cast<double>(TimeStep);

std::vector<BatchTarget> targets() {
  std::vector<BatchTarget> all = BatchTargets();
  EXPECT_FALSE(all.empty());
  return all;
}

// Joined vectors that the model finds awkward (close pairs and chaser,
// bodies on top of each other, zeros, huge values, infinities) and typical
// ones, a different one in every lane.
void awkward_joined(model_test::StateMaker& make, double* joined) {
  Real s[StateSize + 1];
  if (make.below(3) == 0) {
    make.typical(s);
  } else {
    make.awkward(s);
  }
  for (int i = 0; i < StateSize; ++i) {
    joined[i] = static_cast<double>(s[i + 1]);
    joined[StateSize + i] = static_cast<double>(make.normal(1));
  }
}

TEST(BatchDerivs, EveryLaneIsFlowJoinedDerivsOnEveryTarget) {
  for (const BatchTarget& target : targets()) {
    const BatchKernels kernels = BatchKernelsFor(target.target);
    ASSERT_EQ(kernels.target, target.target) << target.name;
    for (int seed = 1; seed <= 300; ++seed) {
      model_test::StateMaker make(seed);
      alignas(64) LaneVector x, rates;
      alignas(64) double damping[BatchLanes];
      double want[BatchLanes][FlowSize];
      for (int lane = 0; lane < BatchLanes; ++lane) {
        double joined[FlowSize];
        awkward_joined(make, joined);
        damping[lane] = static_cast<double>(make.uniform());
        for (int c = 0; c < FlowSize; ++c) x[c * BatchLanes + lane] = joined[c];
        FlowJoinedDerivs(damping[lane], joined, want[lane]);
      }
      kernels.derivs(damping, x, rates);
      for (int lane = 0; lane < BatchLanes; ++lane) {
        for (int c = 0; c < FlowSize; ++c) {
          ASSERT_TRUE(same(rates[c * BatchLanes + lane], want[lane][c]))
              << target.name << " seed " << seed << " lane " << lane << " component " << c << ": "
              << rates[c * BatchLanes + lane] << " against " << want[lane][c];
        }
      }
    }
  }
}

// One lane's course as the client saw it: a line per mark.
struct Seen {
  std::vector<LaneMark> marks;
};

// Records every lane's marks, and stops each after `passes` of them.
class Recorder final : public LaneClient {
 public:
  explicit Recorder(int passes) : passes_(passes) {}
  void on_mark(BatchEngine& engine, int lane, const LaneMark& mark) override {
    seen[lane].marks.push_back(mark);
    if (!mark.ok || static_cast<int>(seen[lane].marks.size()) >= passes_) BatchStop(engine, lane);
  }
  Seen seen[BatchLanes];

 private:
  int passes_;
};

// The scalar engine's passes from the same start: the production pass, its
// tangent measured as a measured pass measures it.
std::vector<LaneMark> scalar_passes(double damping, double tolerance, const double* state, int passes) {
  FlowPass flow;
  FlockState start{};
  for (int i = 0; i < StateSize; ++i) start[i + 1] = state[i];
  StartFlow(flow, FlockModel{damping}, start, tolerance);
  ColumnPass pass;
  pass.flow = true;
  pass.Iteration = 10 * BufferLength;
  std::vector<LaneMark> marks;
  for (int p = 0; p < passes; ++p) {
    LaneMark mark;
    mark.ok = AdvanceFlow(flow);
    for (int i = 0; i < StateSize; ++i) mark.state[i] = flow.engine.x[i];
    if (mark.ok) {
      Real exponent = 0, divergence = 0;
      MeasuredGrowth growth;
      FinishFlowPass(pass, flow, exponent, divergence, &growth);
      mark.log_growth = static_cast<double>(growth.log_growth);
    }
    mark.steps = flow.engine.steps;
    mark.rejected = flow.engine.rejected;
    marks.push_back(mark);
    if (!mark.ok) break;
  }
  return marks;
}

void expect_same_course(const std::vector<LaneMark>& got, const std::vector<LaneMark>& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t p = 0; p < want.size(); ++p) {
    ASSERT_EQ(got[p].ok, want[p].ok) << what << " pass " << p;
    ASSERT_EQ(got[p].steps, want[p].steps) << what << " pass " << p;
    ASSERT_EQ(got[p].rejected, want[p].rejected) << what << " pass " << p;
    ASSERT_TRUE(same(got[p].log_growth, want[p].log_growth)) << what << " pass " << p;
    for (int i = 0; i < StateSize; ++i) {
      ASSERT_TRUE(same(got[p].state[i], want[p].state[i])) << what << " pass " << p << " component " << i;
    }
  }
}

// Starts of eight lanes: committed sweep states, at dampings across the
// bands (a capture band's, the chaotic band's, a regular one's), perturbed
// so that no two lanes are alike.
struct LaneStart {
  double damping;
  double state[StateSize];
};

std::vector<LaneStart> lane_starts() {
  const char* names[] = {"after_column_372", "after_column_132", "after_column_90", "after_column_80"};
  const double dampings[] = {0.4025, 0.10125, 0.05, 0.6, 0.3, 0.2, 0.8, 0.01};
  std::vector<LaneStart> starts;
  for (int lane = 0; lane < BatchLanes; ++lane) {
    const FlockState s = checkpoint_state(names[lane % 4]);
    LaneStart start{dampings[lane], {}};
    for (int i = 0; i < StateSize; ++i) start.state[i] = static_cast<double>(s[i + 1]) * (1 + 1e-3 * lane);
    starts.push_back(start);
  }
  return starts;
}

TEST(BatchEngine, EveryLaneIsTheScalarEngineOnEveryTarget) {
  constexpr int Passes = 400;
  const std::vector<LaneStart> starts = lane_starts();
  std::vector<std::vector<LaneMark>> want;
  for (const LaneStart& s : starts) want.push_back(scalar_passes(s.damping, FlowDefaultTolerance, s.state, Passes));
  for (const BatchTarget& target : targets()) {
    BatchEngine engine(Span, BatchKernelsFor(target.target));
    for (int lane = 0; lane < BatchLanes; ++lane) {
      BatchStart(engine, lane, starts[lane].damping, FlowDefaultTolerance, starts[lane].state);
    }
    Recorder recorder(Passes);
    RunBatch(engine, recorder);
    for (int lane = 0; lane < BatchLanes; ++lane) {
      expect_same_course(recorder.seen[lane].marks, want[lane], target.name + " lane " + std::to_string(lane));
    }
  }
}

// A lane alone and the same lane among seven others whose bodies pass
// close to each other (so that their steps shrink and they reject often):
// the same course, in lane 0 and in lane 5.
TEST(BatchEngine, ALanesCourseIsTheSameAloneAndAmongCloseOnes) {
  constexpr int Passes = 300;
  const LaneStart mine = lane_starts()[0];
  for (const int place : {0, 5}) {
    BatchEngine alone(Span);
    BatchStart(alone, place, mine.damping, FlowDefaultTolerance, mine.state);
    Recorder by_itself(Passes);
    RunBatch(alone, by_itself);

    BatchEngine crowded(Span);
    model_test::StateMaker make(place);
    for (int lane = 0; lane < BatchLanes; ++lane) {
      if (lane == place) {
        BatchStart(crowded, lane, mine.damping, FlowDefaultTolerance, mine.state);
        continue;
      }
      Real s[StateSize + 1];
      make.typical(s);
      double state[StateSize];
      for (int i = 0; i < StateSize; ++i) state[i] = static_cast<double>(s[i + 1]);
      // A pair a hundredth apart, and the chaser near a third body.
      state[4] = state[0] + 0.006;
      state[5] = state[1] - 0.008;
      state[ChaserOffset] = state[8] + 0.02;
      state[ChaserOffset + 1] = state[9];
      BatchStart(crowded, lane, 0.05 + 0.1 * lane, FlowDefaultTolerance, state);
    }
    Recorder among(Passes);
    RunBatch(crowded, among);
    expect_same_course(among.seen[place].marks, by_itself.seen[place].marks, "lane " + std::to_string(place));
  }
}

// Two bodies on one point: the lane stalls at its first pass, its client
// hears so, and it alone stops; the others' courses are what they are
// without it.
TEST(BatchEngine, AStalledLaneStopsAloneAndLeavesTheOthersAlone) {
  constexpr int Passes = 200;
  std::vector<LaneStart> starts = lane_starts();
  LaneStart& doomed = starts[3];
  doomed.state[4] = doomed.state[0];
  doomed.state[5] = doomed.state[1];
  BatchEngine engine(Span);
  for (int lane = 0; lane < BatchLanes; ++lane) {
    BatchStart(engine, lane, starts[lane].damping, FlowDefaultTolerance, starts[lane].state);
  }
  Recorder recorder(Passes);
  RunBatch(engine, recorder);
  ASSERT_EQ(recorder.seen[3].marks.size(), 1u);
  EXPECT_FALSE(recorder.seen[3].marks[0].ok);
  expect_same_course(recorder.seen[3].marks, scalar_passes(doomed.damping, FlowDefaultTolerance, doomed.state, 1),
                     "the stalled lane");
  for (int lane = 0; lane < BatchLanes; ++lane) {
    if (lane == 3) continue;
    expect_same_course(recorder.seen[lane].marks,
                       scalar_passes(starts[lane].damping, FlowDefaultTolerance, starts[lane].state, Passes),
                       "lane " + std::to_string(lane));
  }
}

// A client that restarts a lane from another state at one of its marks:
// from there on the lane is the scalar engine's restart (its step counts
// going on).
class Restarter final : public LaneClient {
 public:
  Restarter(int at, const double* state, int passes) : at_(at), state_(state), passes_(passes) {}
  void on_mark(BatchEngine& engine, int lane, const LaneMark& mark) override {
    marks.push_back(mark);
    if (static_cast<int>(marks.size()) == at_) BatchRestart(engine, lane, state_);
    if (static_cast<int>(marks.size()) >= passes_) BatchStop(engine, lane);
  }
  std::vector<LaneMark> marks;

 private:
  int at_;
  const double* state_;
  int passes_;
};

TEST(BatchEngine, ARestartedLaneIsTheScalarEnginesRestart) {
  const std::vector<LaneStart> starts = lane_starts();
  const LaneStart& first = starts[0];
  const LaneStart& second = starts[1];
  BatchEngine engine(Span);
  BatchStart(engine, 2, first.damping, FlowDefaultTolerance, first.state);
  Restarter client(50, second.state, 150);
  RunBatch(engine, client);

  FlowPass flow;
  FlockState start{};
  for (int i = 0; i < StateSize; ++i) start[i + 1] = first.state[i];
  StartFlow(flow, FlockModel{first.damping}, start, FlowDefaultTolerance);
  ColumnPass pass;
  pass.flow = true;
  pass.Iteration = 10 * BufferLength;
  ASSERT_EQ(client.marks.size(), 150u);
  for (int p = 0; p < 150; ++p) {
    if (p == 50) RestartFlow(flow, second.state);
    ASSERT_TRUE(AdvanceFlow(flow));
    Real exponent = 0, divergence = 0;
    MeasuredGrowth growth;
    FinishFlowPass(pass, flow, exponent, divergence, &growth);
    ASSERT_TRUE(same(client.marks[p].log_growth, static_cast<double>(growth.log_growth))) << p;
    ASSERT_EQ(client.marks[p].steps, flow.engine.steps) << p;
    for (int i = 0; i < StateSize; ++i) ASSERT_TRUE(same(client.marks[p].state[i], flow.engine.x[i])) << p;
  }
}

}  // namespace
