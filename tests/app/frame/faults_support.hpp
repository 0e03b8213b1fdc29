// What the run fault tests share: a quick run, a folder's files, and the
// lines of a text that hold a part.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/run_support.hpp"

// Three columns (849, 846, 843) that converge, the first in about 76,000
// passes, the others in 8,000.
inline const std::vector<std::string> QuickRun = {"--headless", "--damping", "0.99:0.99875", "--step", "3"};

// Every regular file of a folder with its contents.
inline std::map<std::string, std::string> contents_of(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file() && !entry.is_symlink()) files[entry.path().filename()] = read_file(entry.path());
  return files;
}

inline std::size_t count_lines_with(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (const std::string& line : lines_of(text)) n += line.find(part) != std::string::npos;
  return n;
}
