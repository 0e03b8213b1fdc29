// Pins the calling thread, and the threads it starts meanwhile, to one
// processor for the lifetime of the guard, so that a worker thread must
// share it: the case where the worker is seldom running when it is needed.
#pragma once

#include <sched.h>

class OnOneProcessor {
 public:
  OnOneProcessor() {
    pinned_ = sched_getaffinity(0, sizeof before_, &before_) == 0;
    if (!pinned_) return;
    int cpu = 0;
    while (!CPU_ISSET(cpu, &before_)) ++cpu;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    pinned_ = sched_setaffinity(0, sizeof one, &one) == 0;
  }
  ~OnOneProcessor() {
    if (pinned_) sched_setaffinity(0, sizeof before_, &before_);
  }
  OnOneProcessor(const OnOneProcessor&) = delete;
  OnOneProcessor& operator=(const OnOneProcessor&) = delete;
  bool pinned() const { return pinned_; }

 private:
  cpu_set_t before_;
  bool pinned_ = false;
};
