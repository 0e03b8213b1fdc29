#include "app/frame/run_outputs.hpp"

#include "app/frame/merge.hpp"
#include "runtime/file_guard.hpp"

std::vector<std::string> RunOwnFiles(const std::string& name, const std::string& base_name) {
  std::vector<std::string> bases = {name};
  if (base_name != name) bases.push_back(base_name);
  for (const SegmentFile& segment : FindSegmentFiles(".", base_name))
    if (segment.base != name) bases.push_back(segment.base);
  std::vector<std::string> files;
  for (const std::string& base : bases)
    for (const char* extension : {".csv", ".members.csv", ".spectrum.csv", ".checkpoint", ".lock", ".bmp", ".png"})
      files.push_back(base + extension);
  return files;
}

std::optional<std::string> RunOutputsFault(const Options& options, const std::string& name,
                                           const std::string& base_name) {
  const std::vector<std::string> own = RunOwnFiles(name, base_name);
  // Replacing a device or a FIFO by a file would damage the system, and
  // writing the results into one would lose them.
  for (const std::string& file : own) {
    const PathKind kind = path_kind(file);
    if (kind == PathKind::Stream || kind == PathKind::Other)
      return file + " is a device, a FIFO or a socket, not a regular file; the run's own files are never written "
                    "into one";
  }
  if (options.history.empty() || options.merge) return std::nullopt;
  const std::string& history = options.history;
  switch (path_kind(history)) {
    case PathKind::Directory: return "--history " + history + " is a folder";
    case PathKind::Other: return "--history " + history + " is a block device or a socket, not a file to write";
    default: break;
  }
  const FileIdentity history_id = identity_of(history);
  for (const std::string& file : own)
    if (same_file(history_id, identity_of(file)))
      return "--history " + history + " is " + file + ", one of the run's own files";
  return std::nullopt;
}
