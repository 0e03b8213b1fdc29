// Advances the reference and the shadow trajectory of a pass at the same
// time: the shadow on a persistent worker thread, the reference on the
// calling thread. Each has its own scratch vector, so the results are the
// same bits as one step after the other.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <thread>

#include "runtime/real.hpp"

class PairStepper {
 public:
  PairStepper();
  ~PairStepper();
  PairStepper(const PairStepper&) = delete;
  PairStepper& operator=(const PairStepper&) = delete;

  // One StepAdaptive of TimeStep on each state, in place.
  void advance(Real* reference, Real* shadow);

 private:
  void work();
  std::uint32_t wait_change(std::uint32_t old);
  void publish(std::uint32_t value);

  // Odd while a job is posted and not yet done; the worker acknowledges by
  // making it even again.
  std::atomic<std::uint32_t> sequence_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  Real* job_ = nullptr;
  alignas(64) Real reference_scratch_[33] = {};
  alignas(64) Real shadow_scratch_[33] = {};
  std::thread worker_;
};
