// One run at a time per results file: an advisory lock on NAME.lock beside
// it, held for the whole run, with the holder's process id in the file.
#pragma once

#include <string>

struct RunLock {
  int fd = -1;
  bool held_elsewhere = false;  // set when another process holds it
  RunLock() = default;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();
};

// Takes the lock on `path` without waiting. False with a one-line reason
// (naming the other process when it holds the lock).
bool take_run_lock(RunLock& lock, const std::string& path, std::string& error);
