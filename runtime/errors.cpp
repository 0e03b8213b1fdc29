#include "runtime/errors.hpp"

#include <unistd.h>

namespace {
thread_local std::uint16_t tls_error_word = 0;
std::atomic<FatalHook> fatal_hook{nullptr};
SpinLock platform_call_lock;
}  // namespace

std::uint16_t error_word() { return tls_error_word; }
void clear_error() { tls_error_word = 0; }
int last_error() { return tls_error_word & 0xFF; }

void set_fatal_hook(FatalHook hook) { fatal_hook.store(hook); }

void raise_error(int number) {
  number &= 0xFF;
  if (number == 0) number = 51;
  tls_error_word = static_cast<std::uint16_t>((ErrorOrigin << 8) | number);
  if (number >= 241) {
    if (FatalHook hook = fatal_hook.load()) hook();
    _exit(255);
  }
}

int error_from_errno(int code) {
  switch (code) {
    case 0: return 0;
    case ENOENT: return 53;
    case ENOTDIR: return 76;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY: return 70;
    case ENOMEM: return 7;
    case EINVAL: return 5;
    case ENOSPC: return 61;
    case EMFILE:
    case ENFILE: return 67;
    default: return 75;
  }
}

SpinLock& platform_lock() { return platform_call_lock; }
