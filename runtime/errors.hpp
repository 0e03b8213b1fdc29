// Run-time errors and the gateway for platform calls.
//
// A failing runtime operation records a numbered error in the error word of
// the calling procedure and returns its neutral result; execution goes on.
// Numbers 241 and above end the process with exit code 255.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <utility>

constexpr std::uint8_t ErrorOrigin = 0xB0;

// Error word: low byte the error number, high byte the origin. One per thread;
// a procedure that cares clears it on entry (clear_error) and reads it after.
std::uint16_t error_word();
void clear_error();
// The error number of the error word (0 when none).
int last_error();

// Records `number` (0 is recorded as 51) and returns; 241 and above end the
// process with exit code 255 after the terminal has been restored.
void raise_error(int number);

// Maps an errno value to the run-time error number it stands for.
int error_from_errno(int code);

// Hook run by a fatal error before the process ends (restores the terminal).
using FatalHook = void (*)();
void set_fatal_hook(FatalHook hook);

// A process-wide spin lock: atomic exchange of -1, spin until the old value
// was 0, release by storing 0. Never held across a wait on another thread.
struct SpinLock {
  std::atomic<int> word{0};
  void lock() noexcept {
    while (word.exchange(-1, std::memory_order_acquire) != 0) {
    }
  }
  void unlock() noexcept { word.store(0, std::memory_order_release); }
};

// Holds a spin lock for the rest of its scope.
using SpinGuard = std::lock_guard<SpinLock>;

template <class T>
struct PlatformResult {
  T value;
  int code;    // errno after the call, 0 when the platform reported nothing
  int mapped;  // run-time error number for `code`, 0 when none
};

SpinLock& platform_lock();

// One platform call for a runtime operation, serialised with every other one.
// The caller decides from the call's own result whether it failed; only then
// does it raise `mapped`.
template <class F>
auto call_platform(F&& call) -> PlatformResult<decltype(call())> {
  auto [value, code] = [&] {
    SpinGuard guard(platform_lock());
    errno = 0;
    auto value = std::forward<F>(call)();
    const int code = errno;
    return std::pair<decltype(value), int>(std::move(value), code);
  }();
  return {std::move(value), code, code == 0 ? 0 : error_from_errno(code)};
}
