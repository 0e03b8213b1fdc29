// Replacing a file's contents so that readers see either the old file or the
// complete new one, never a mixture, and so that nothing planted under a
// temporary name (a symbolic link, a file of someone else) is written through.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Writes the new contents to a fresh hidden file beside `path`
// (".BASE.PID.N.tmp", created exclusively, never through a link), flushes it
// to the disk, renames it over `path` and flushes the directory. `write`
// gets the open descriptor and returns false with a reason when it cannot
// write. An existing file keeps its permissions. On failure nothing at
// `path` changes, the new file is removed, and `reason` says why.
bool replace_file(const std::string& path, const std::function<bool(int fd, std::string& reason)>& write,
                  std::string& reason);
bool replace_file(const std::string& path, std::string_view bytes, std::string& reason);
bool replace_file(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& reason);

// Writes all of `bytes` to `fd`; false with the system's reason otherwise.
bool write_all(int fd, const void* bytes, std::size_t size, std::string& reason);

// Removes the temporary file of a replacement in progress on this process,
// if any. Safe to call from a signal handler.
void remove_pending_replacement();

// Removes the temporaries of `path` (".BASE.PID.N.tmp") that a process killed
// while writing left behind: only those whose process no longer exists.
// Returns how many were removed.
int remove_stale_temporaries(const std::string& path);
