// What the programs open by name is checked for what it is before it is
// used: an input must be a regular file and is read with a bound (a FIFO
// or a device would block or never end), an output that is a device or a
// FIFO is written into as a stream or refused, never replaced, and two
// names are the same file when they reach the same inode.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// What a name reaches, following links.
enum class PathKind {
  Missing,    // nothing there (or a dangling link)
  Regular,
  Directory,
  Stream,     // a character device or a FIFO: written into, never replaced
  Other,      // a block device or a socket: neither read nor written
};
PathKind path_kind(const std::string& path);

// Opens a regular file for reading without blocking on the way (a FIFO
// would wait for a writer); -1 with the reason when it cannot be opened or
// is not a regular file, or is larger than `limit` bytes.
int open_regular_input(const std::string& path, std::size_t limit, std::string& reason);

// All of a regular file of at most `limit` bytes; false with the reason.
bool read_regular_file(const std::string& path, std::size_t limit, std::string& text, std::string& reason);

// Opens an existing character device or FIFO for writing, appending, without
// waiting for a reader (a FIFO that nobody reads is refused); -1 with the
// reason otherwise.
int open_stream_output(const std::string& path, std::string& reason);

// Opens a regular file for appending, never through a link, never a FIFO
// or a device; -1 with the reason.
int open_regular_append(const std::string& path, std::string& reason);

// A file as the system knows it: its device and inode when it exists,
// otherwise its folder's and its own name, so that two spellings of a file
// not yet written are still found to be one.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;  // the last component, when it does not exist
};
FileIdentity identity_of(const std::string& path);
bool same_file(const FileIdentity& a, const FileIdentity& b);
inline bool same_file(const std::string& a, const std::string& b) { return same_file(identity_of(a), identity_of(b)); }
