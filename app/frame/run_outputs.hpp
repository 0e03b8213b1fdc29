// What a run checks of the files it will write before anything runs: its
// own files are regular files (or not there yet), and the history is
// something it can write and none of its own files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/frame/options.hpp"

// The run's own files: results, checkpoint, lock, bitmap and PNG of `name`,
// of `base_name` and of every segment of it found here.
std::vector<std::string> RunOwnFiles(const std::string& name, const std::string& base_name);

// One line saying why the run must not start, or none.
std::optional<std::string> RunOutputsFault(const Options& options, const std::string& name,
                                           const std::string& base_name);
