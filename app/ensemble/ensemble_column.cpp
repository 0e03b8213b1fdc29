#include "app/ensemble/ensemble_column.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "app/ensemble/attractor.hpp"
#include "app/lanes/batch_engine.hpp"
#include "app/measure/column.hpp"
#include "app/measure/member.hpp"
#include "app/measure/parameters.hpp"

namespace {

// A member's engine: a lane of the batch engine, whose pass is made before
// the member hears of it.
class LaneMemberEngine final : public MemberEngine {
 public:
  LaneMemberEngine(BatchEngine& batch, int lane, double tolerance) : batch_(batch), lane_(lane), tolerance_(tolerance) {}
  void start(ColumnPass& pass) override {
    to_doubles(pass.ref, last_.state.data());
    BatchStart(batch_, lane_, static_cast<double>(pass.model.FlockDamping), tolerance_, last_.state.data());
  }
  void restart(ColumnPass& pass) override {
    to_doubles(pass.ref, last_.state.data());
    BatchRestart(batch_, lane_, last_.state.data());
  }
  // The lane's pass, made before its member is told of it.
  void arrived(const LaneMark& mark) { last_ = mark; }
  bool advance(ColumnPass&) override { return last_.ok; }
  PassEnd finish(ColumnPass& pass, SweepCarry& estimate, MeasuredGrowth* growth) override {
    return RecordFlowGrowth(pass, last_.log_growth, estimate.Exponent, estimate.MeanDivergence, growth);
  }
  CaptureSample sample(const ColumnPass&) const override {
    std::array<double, StateSize + 1> one{};
    for (int i = 0; i < StateSize; ++i) one[i + 1] = last_.state[i];
    return CaptureSampleOf(one.data());
  }
  void state(const ColumnPass&, double* out) const override {
    std::copy(last_.state.begin(), last_.state.end(), out);
  }
  void stop(ColumnPass& pass) override {
    for (int i = 0; i < StateSize; ++i) pass.ref[i + 1] = last_.state[i];
  }
  void describe(ColumnResult& r) const override {
    r.integrator = FlowMethodName;
    r.tolerance = tolerance_;
    r.steps = last_.steps;
    r.rejected_steps = last_.rejected;
  }

 private:
  static void to_doubles(const FlockState& ref, double* out) {
    for (int i = 0; i < StateSize; ++i) out[i] = static_cast<double>(ref[i + 1]);
  }
  BatchEngine& batch_;
  int lane_;
  double tolerance_;
  LaneMark last_;
};

// Feeds a settling member's states to its attractor watches, one state in
// every WatchStride (the shortest periods seen are near 3 units), body 1's x
// unfolded: the folds keep it within [-Pi, Pi], which would tear a flock
// that travels. One watch sees the first half of the certification, the
// other all of it: a flock still spreading out has grown between the two.
class WatchFeed final : public AttractorObserver {
 public:
  static constexpr int WatchStride = 10;
  void begin() override {
    const double interval = WatchStride * static_cast<double>(TimeStep);
    early = AttractorWatch(interval);
    whole = AttractorWatch(interval);
    passes_ = 0;
    started_ = false;
    unfold_ = 0;
  }
  void add(const double* state) override {
    const double pi = static_cast<double>(Pi);
    if (started_) {
      if (state[0] - last_x_ < -pi) unfold_ += 2 * pi;
      if (state[0] - last_x_ > pi) unfold_ -= 2 * pi;
    }
    started_ = true;
    last_x_ = state[0];
    if (passes_++ % WatchStride != 0) return;
    double unfolded[StateSize];
    std::copy(state, state + StateSize, unfolded);
    unfolded[0] += unfold_;
    whole.add(unfolded);
    if (passes_ <= HalfWatch) early.add(unfolded);
  }
  // Whether the flock was still spreading out: its radius grew beyond the
  // attractors' tolerance from the one half to the other.
  bool dispersing() const {
    const double before = early.features().flock_radius, after = whole.features().flock_radius;
    return after > before * (1 + AttractorTolerance);
  }
  AttractorWatch early, whole;

 private:
  // The certification's passes after the window, halved.
  static constexpr long HalfWatch = 9000;
  long passes_ = 0;
  bool started_ = false;
  double last_x_ = 0;
  double unfold_ = 0;
};

// What the members of a column share across the threads.
struct ColumnWork {
  ColumnWork(std::int32_t column, const FlockModel& model, const FlockState& continued, const SweepCarry& carry,
             const SweepSettings& settings, ColumnHost& host, const HistoryObserver& history)
      : column(column), model(model), continued(continued), carry(carry), settings(settings), host(host),
        history(history), members(static_cast<std::size_t>(settings.members)) {}
  std::int32_t column;
  const FlockModel& model;
  const FlockState& continued;  // member 0's start
  const SweepCarry& carry;
  const SweepSettings& settings;
  ColumnHost& host;  // member 0's
  const HistoryObserver& history;
  std::atomic<std::int32_t> next{1};  // the next fresh member to start
  std::atomic<bool> escaped{false};
  std::vector<MemberResult> members;
  std::optional<ColumnResult> first;  // member 0's column result
  FlockState left{};                  // member 0's end state
};

struct MemberSlot {
  std::int32_t member = -1;
  RandomState generator;
  std::unique_ptr<LaneMemberEngine> engine;
  std::unique_ptr<MemberRun> run;
  WatchFeed feed;
};

// One thread's batch: its lanes take members as they come free.
class Batch final : public LaneClient {
 public:
  Batch(ColumnWork& work, bool with_first)
      : work_(work), engine_(static_cast<double>(TimeStep)), take_first_(with_first) {}

  void run() {
    for (int lane = 0; lane < BatchLanes; ++lane) take(lane);
    RunBatch(engine_, *this);
  }

  void on_mark(BatchEngine& engine, int lane, const LaneMark& mark) override {
    MemberSlot& slot = slots_[lane];
    if (work_.escaped) {
      BatchStop(engine, lane);
      return;
    }
    slot.engine->arrived(mark);
    bool escaped = false;
    const std::optional<ColumnEnd> end = slot.run->step(escaped);
    if (escaped) {
      work_.escaped = true;
      slot.run->finish();
      work_.left = slot.run->state();
      BatchStop(engine, lane);
      return;
    }
    if (!end) return;
    BatchStop(engine, lane);
    slot.run->finish();
    MemberResult line = slot.run->member_result(*end);
    if (slot.run->settled()) {
      const AttractorFeatures f = slot.feed.whole.features();
      line.dispersing = slot.feed.dispersing();
      line.period = f.period;
      line.chaser_distance = f.chaser_distance;
      line.flock_radius = f.flock_radius;
      line.drift_speed = f.drift_speed;
      line.spin = f.spin;
    }
    if (slot.member == 0) {
      work_.first = slot.run->result(*end);
      work_.left = slot.run->state();
    }
    work_.members[static_cast<std::size_t>(slot.member)] = line;
    take(lane);
  }

 private:
  // Starts the next member on a free lane, if any is left.
  void take(int lane) {
    std::int32_t member = 0;
    if (take_first_) {
      take_first_ = false;
    } else {
      member = work_.next.fetch_add(1);
      if (member >= work_.settings.members) return;
    }
    MemberSlot& slot = slots_[lane];
    slot = MemberSlot{};
    slot.member = member;
    slot.engine = std::make_unique<LaneMemberEngine>(engine_, lane, work_.settings.tolerance);
    MemberSetup setup;
    setup.column = work_.column;
    setup.member = member;
    setup.ensemble = true;
    FlockState start = work_.continued;
    if (member != 0) {
      slot.generator = MemberGenerator(work_.column, member, work_.settings.member_seed);
      setup.generator = &slot.generator;
      start = FreshState(&slot.generator);
    }
    slot.run = std::make_unique<MemberRun>(setup, work_.settings, member == 0 ? work_.host : quiet_,
                                           member == 0 ? work_.history : no_history_, *slot.engine, work_.model,
                                           start, work_.carry);
    slot.run->watch_attractor(&slot.feed);
    slot.run->begin();
  }

  ColumnWork& work_;
  BatchEngine engine_;
  bool take_first_;
  std::array<MemberSlot, BatchLanes> slots_;
  QuietHost quiet_;
  HistoryObserver no_history_;
};

}  // namespace

RandomState MemberGenerator(std::int32_t column, std::int32_t member, std::uint32_t seed) {
  // SplitMix64's finaliser over the pair (and the seed): neighbouring
  // members and columns land far apart on the generator's cycle.
  std::uint64_t z = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(column)) << 32) |
                    static_cast<std::uint32_t>(member);
  z += 0x9e3779b97f4a7c15ULL * (1 + static_cast<std::uint64_t>(seed));
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  RandomState generator;
  generator.state = static_cast<std::uint32_t>(z);
  generator.last = generator.state >> 1;
  return generator;
}

std::optional<ColumnResult> RunEnsembleColumn(std::int32_t column, const FlockModel& model, FlockState& ref,
                                              const SweepCarry& carry, const SweepSettings& settings, ColumnHost& host,
                                              const HistoryObserver& history) {
  ColumnWork work(column, model, ref, carry, settings, host, history);
  // A second thread's batch pays when there are more members than lanes.
  const bool two = settings.threads >= 2 && settings.members > BatchLanes;
  std::thread other;
  std::unique_ptr<Batch> second;
  if (two) {
    second = std::make_unique<Batch>(work, false);
    other = std::thread([&second] { second->run(); });
  }
  Batch first(work, true);
  first.run();
  if (other.joinable()) other.join();
  ref = work.left;
  if (work.escaped || !work.first) return std::nullopt;
  ColumnResult result = *work.first;
  result.member_results = std::move(work.members);
  SumUpEnsemble(result);
  return result;
}
