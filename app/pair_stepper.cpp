#include "app/pair_stepper.hpp"

#include <immintrin.h>

#include <chrono>

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

}  // namespace

// Waits until `value` differs from `old`: spins briefly, then blocks on the
// condition variable. The wait is bounded, so even a lost wake-up costs a
// millisecond, never the run.
std::uint32_t PairStepper::wait_change(std::uint32_t old) {
  const std::atomic<std::uint32_t>& value = sequence_;
  for (int i = 0; i < SpinRounds; ++i) {
    std::uint32_t now = value.load(std::memory_order_acquire);
    if (now != old) return now;
    if (i % YieldEvery == YieldEvery - 1) {
      std::this_thread::yield();
    } else {
      _mm_pause();
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  std::uint32_t now;
  while ((now = value.load(std::memory_order_acquire)) == old) {
    changed_.wait_for(lock, std::chrono::milliseconds(1));
  }
  return now;
}

// Publishes a new value of the sequence and wakes a blocked waiter. Taking
// the mutex between the store and the notification means a waiter is either
// not yet checking (and will see the new value) or already waiting.
void PairStepper::publish(std::uint32_t value) {
  sequence_.store(value, std::memory_order_release);
  { std::lock_guard<std::mutex> lock(mutex_); }
  changed_.notify_all();
}


PairStepper::PairStepper() : worker_([this] { work(); }) {}

PairStepper::~PairStepper() {
  stop_.store(true, std::memory_order_relaxed);
  publish(sequence_.load(std::memory_order_relaxed) + 1);
  worker_.join();
}

void PairStepper::advance(Real* reference, Real* shadow) {
  job_ = shadow;
  const std::uint32_t posted = sequence_.load(std::memory_order_relaxed) + 1;
  publish(posted);
  StepAdaptive(reference, reference_scratch_, StateSize, TimeStep, reference);
  wait_change(posted);
}

void PairStepper::work() {
  std::uint32_t seen = 0;
  for (;;) {
    const std::uint32_t now = wait_change(seen);
    if (stop_.load(std::memory_order_relaxed)) return;
    StepAdaptive(job_, shadow_scratch_, StateSize, TimeStep, job_);
    seen = now + 1;
    publish(seen);
  }
}
