// Advances the reference and the shadow trajectory of a pass at the same
// time: the reference on the calling thread, the shadow on a persistent
// worker thread. Each trajectory has its own scratch vector, so the results
// are the same bits as one step after the other.
//
// The shadow step is posted as a job that either thread may claim. When the
// calling thread has finished the reference and the worker has not yet
// started the shadow (it may not even be running when the machine has more
// busy threads than cores), the calling thread takes the shadow step itself:
// a pass is then never much slower than with one thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "app/model/flock_model.hpp"
#include "runtime/real.hpp"

class PairStepper {
 public:
  PairStepper();
  ~PairStepper();
  PairStepper(const PairStepper&) = delete;
  PairStepper& operator=(const PairStepper&) = delete;

  // One StepAdaptive of TimeStep of the model on each state, in place.
  void advance(const FlockModel& model, Real* reference, Real* shadow);
  // The same with the measurement options: `tangent` (none when null)
  // carried through the reference's step, and with `robust` the shadow
  // stepped by the reference's map. The shadow's coarse and half steps do
  // not depend on the reference's sub-step count, so the worker takes them
  // while the reference takes its own, and waits for the count only before
  // it refines. The same bits as StepPairAlone.
  void advance(const FlockModel& model, Real* reference, Real* shadow, Real* tangent, bool robust);

  // How many shadow steps the calling thread took itself, and how many the
  // worker took.
  std::uint64_t steps_taken_back() const { return taken_back_; }
  std::uint64_t steps_by_worker() const { return by_worker_.load(std::memory_order_relaxed); }
  // How often the calling thread found the worker without a core of its own
  // and went on alone for a while.
  std::uint64_t times_alone() const { return times_alone_; }

 private:
  enum Job : std::uint32_t { Idle, Posted, Claimed, Done };

  void work();
  template <typename Ready>
  void wait_until(Ready ready);
  void publish(Job job);
  void wake();
  void go_alone();
  void shadow_step();
  void judge_wait(std::chrono::steady_clock::time_point start, std::chrono::steady_clock::time_point stepped,
                  int reference_sub_steps);

  std::atomic<std::uint32_t> job_state_{Idle};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  const FlockModel* job_model_ = nullptr;
  Real* job_ = nullptr;
  bool job_by_map_ = false;  // the shadow follows the reference's sub-step count
  std::atomic<int> reference_sub_steps_{0};  // published mid-step; 0 until then
  int shadow_sub_steps_ = 2;  // of the worker's last step
  std::uint64_t taken_back_ = 0;
  std::uint64_t times_alone_ = 0;
  std::uint64_t passes_ = 0;
  std::uint64_t alone_until_ = 0;  // the last pass of the latest while alone
  int alone_length_ = 0;
  std::atomic<std::uint64_t> by_worker_{0};
  alignas(64) FlockState reference_scratch_{};
  alignas(64) FlockState shadow_scratch_{};
  std::thread worker_;
};
