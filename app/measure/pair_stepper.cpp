#include "app/measure/pair_stepper.hpp"

#include <immintrin.h>

#include <algorithm>
#include <chrono>

#include "app/measure/parameters.hpp"
#include "app/measure/pass_steps.hpp"
#include "app/model/integrator.hpp"

namespace {

// How long a waiting thread spins before it blocks. A step takes tens of
// microseconds and a pass about twice that: a worker that spins this long
// between jobs is awake for the next one, while a wake-up from the futex
// would take about as long as a step and let the calling thread take the job
// back.
constexpr std::chrono::microseconds SpinTime{1000};
// Every so often the spinning thread offers its core: when the machine has
// more busy threads than cores, the thread it waits for may need it.
constexpr int YieldEvery = 128;

// The sign that the worker does not have a core of its own: the shadow step
// ended this much later than its cost would make it, so the worker was
// preempted in the middle of it. The calling thread then takes both steps
// itself for a while and the worker blocks. A single hiccup costs a short
// while; when the trouble persists right after the while, the next one is
// twice as long, up to a second or so of passes.
constexpr std::chrono::microseconds SlowWait{200};
constexpr int ShortestAlone = 250;
constexpr int LongestAlone = 32000;
constexpr int TroubleWithin = 2000;  // passes after a while alone

// What a StepAdaptive with k sub-steps costs, in FlockDerivs evaluations:
// the coarse step and the two half steps take 11, a refinement 4k - 1 more.
std::int64_t StepEvaluations(int k) { return k > 2 ? 4 * k + 10 : 11; }

}  // namespace

// Spins until `ready()` for SpinTime, then blocks on the condition
// variable. The blocking wait is bounded, so even a lost wake-up costs a
// millisecond, never the run.
template <typename Ready>
void PairStepper::wait_until(Ready ready) {
  const auto give_up = std::chrono::steady_clock::now() + SpinTime;
  for (int i = 1;; ++i) {
    if (ready()) return;
    if (i % YieldEvery == 0) {
      if (std::chrono::steady_clock::now() > give_up) break;
      std::this_thread::yield();
    } else {
      _mm_pause();
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  while (!ready()) changed_.wait_for(lock, std::chrono::milliseconds(1));
}

// Publishes a new job state and wakes a blocked waiter. Taking the mutex
// between the store and the notification means a waiter is either not yet
// checking (and will see the new state) or already waiting.
void PairStepper::publish(Job job) {
  job_state_.store(job, std::memory_order_release);
  wake();
}

void PairStepper::wake() {
  { std::lock_guard<std::mutex> lock(mutex_); }
  changed_.notify_all();
}

PairStepper::PairStepper() : worker_([this] { work(); }) {}

PairStepper::~PairStepper() {
  stop_.store(true, std::memory_order_relaxed);
  wake();
  worker_.join();
}

// The plain pass is the measured one without a tangent and with the
// shadow's own map: the same bits as two StepAdaptive calls.
void PairStepper::advance(const FlockModel& model, Real* reference, Real* shadow) {
  advance(model, reference, shadow, nullptr, false);
}

// The worker started with the reference step; the shadow step should have
// taken as long as the reference step, scaled by their costs. Much longer
// means the worker lost its core in the middle.
void PairStepper::judge_wait(std::chrono::steady_clock::time_point start, std::chrono::steady_clock::time_point stepped,
                             int reference_sub_steps) {
  const auto expected_shadow =
      (stepped - start) * StepEvaluations(shadow_sub_steps_) / StepEvaluations(reference_sub_steps);
  if (std::chrono::steady_clock::now() - start > expected_shadow + SlowWait) go_alone();
}

void PairStepper::advance(const FlockModel& model, Real* reference, Real* shadow, Real* tangent, bool robust) {
  ++passes_;
  if (passes_ <= alone_until_) {
    StepPairAlone(model, reference, shadow, tangent, robust);
    ++taken_back_;
    return;
  }
  job_model_ = &model;
  job_ = shadow;
  job_by_map_ = robust;
  reference_sub_steps_.store(0, std::memory_order_relaxed);
  publish(Posted);
  const auto start = std::chrono::steady_clock::now();
  ReferenceStep step;
  step.model = &model;
  step.state = reference;
  step.tangent = tangent;
  step.scratch = reference_scratch_.data();
  const int k = ReferenceBegin(step);
  reference_sub_steps_.store(k, std::memory_order_release);
  const FoldShifts folds = ReferenceFinish(step, k);
  std::uint32_t expected = Posted;
  if (job_state_.compare_exchange_strong(expected, Claimed, std::memory_order_acquire)) {
    shadow_step();
    ++taken_back_;
  } else {
    const auto stepped = std::chrono::steady_clock::now();
    wait_until([this] { return job_state_.load(std::memory_order_acquire) == Done; });
    judge_wait(start, stepped, k);
  }
  if (robust) ApplyFolds(shadow, folds);
  job_state_.store(Idle, std::memory_order_relaxed);
}

// The posted shadow step, on whichever thread claimed it. By the
// reference's map it waits for the reference's sub-step count after the
// part that does not depend on it; the reference publishes it long before
// it ends its own step, so the wait is short and only spins.
void PairStepper::shadow_step() {
  if (!job_by_map_) {
    shadow_sub_steps_ = StepAdaptive(*job_model_, job_, shadow_scratch_.data(), TimeStep, job_);
    return;
  }
  StepDraft draft;
  ShadowBegin(*job_model_, job_, shadow_scratch_.data(), draft);
  int k = 0;
  for (int i = 1; (k = reference_sub_steps_.load(std::memory_order_acquire)) == 0; ++i) {
    if (i % YieldEvery == 0) {
      std::this_thread::yield();
    } else {
      _mm_pause();
    }
  }
  ShadowFinish(*job_model_, draft, shadow_scratch_.data(), k, job_);
  shadow_sub_steps_ = k;
}

void PairStepper::go_alone() {
  const bool persists = times_alone_ > 0 && passes_ - alone_until_ < TroubleWithin;
  alone_length_ = persists ? std::min(2 * alone_length_, LongestAlone) : ShortestAlone;
  alone_until_ = passes_ + alone_length_;
  ++times_alone_;
}

void PairStepper::work() {
  for (;;) {
    wait_until([this] {
      return stop_.load(std::memory_order_relaxed) || job_state_.load(std::memory_order_relaxed) == Posted;
    });
    if (stop_.load(std::memory_order_relaxed)) return;
    std::uint32_t expected = Posted;
    // The calling thread may have taken the job back in the meantime.
    if (!job_state_.compare_exchange_strong(expected, Claimed, std::memory_order_acquire)) continue;
    shadow_step();
    by_worker_.fetch_add(1, std::memory_order_relaxed);
    publish(Done);
  }
}
