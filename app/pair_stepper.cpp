#include "app/pair_stepper.hpp"

#include <immintrin.h>

#include "app/model/integrator.hpp"
#include "app/parameters.hpp"

namespace {

// A step takes tens of microseconds and the two steps of a pass about as
// long as each other: spinning for about that long before blocking keeps
// the hand-off cheap, while a wait on the futex costs far more.
constexpr int SpinRounds = 2000;
// Every so often the spinning thread offers its core: when the machine has
// more busy threads than cores, the thread it waits for may need it.
constexpr int YieldEvery = 128;

// Waits until `value` differs from `old`: spins briefly, then blocks.
std::uint32_t wait_change(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
  for (int i = 0; i < SpinRounds; ++i) {
    std::uint32_t now = value.load(std::memory_order_acquire);
    if (now != old) return now;
    if (i % YieldEvery == YieldEvery - 1) {
      std::this_thread::yield();
    } else {
      _mm_pause();
    }
  }
  value.wait(old, std::memory_order_acquire);
  return value.load(std::memory_order_acquire);
}

}  // namespace

PairStepper::PairStepper() : worker_([this] { work(); }) {}

PairStepper::~PairStepper() {
  stop_.store(true, std::memory_order_relaxed);
  sequence_.fetch_add(1, std::memory_order_release);
  sequence_.notify_one();
  worker_.join();
}

void PairStepper::advance(Real* reference, Real* shadow) {
  job_ = shadow;
  const std::uint32_t posted = sequence_.fetch_add(1, std::memory_order_release) + 1;
  sequence_.notify_one();
  StepAdaptive(reference, reference_scratch_, StateSize, TimeStep, reference);
  std::uint32_t now = posted;
  while (now == posted) now = wait_change(sequence_, posted);
}

void PairStepper::work() {
  std::uint32_t seen = 0;
  for (;;) {
    std::uint32_t now = seen;
    while (now == seen) now = wait_change(sequence_, seen);
    if (stop_.load(std::memory_order_relaxed)) return;
    StepAdaptive(job_, shadow_scratch_, StateSize, TimeStep, job_);
    seen = now + 1;
    sequence_.store(seen, std::memory_order_release);
    sequence_.notify_one();
  }
}
