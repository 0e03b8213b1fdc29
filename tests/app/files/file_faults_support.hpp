// What the file fault tests share: a short run, flockchase under a time
// limit in a folder of one's choosing, and a folder's entries to compare.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/run_support.hpp"

// Three short columns (849, 846, 843).
inline const std::vector<std::string> ShortRun = {"--headless", "--passes", "2000", "--damping", "0.99:0.99875",
                                                  "--step",     "3"};

inline std::vector<std::string> with(std::vector<std::string> arguments, const std::vector<std::string>& more) {
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

// Runs flockchase in `cwd` under a time limit (a hang is killed and shows
// as exit code 137), the stand-in converter of `box` first on PATH, the
// outputs into `box`. `limits` are shell commands run before (ulimit, trap).
inline RunOutput run_at(const Sandbox& box, const fs::path& cwd, const std::vector<std::string>& arguments,
                        const std::string& limits = "", int seconds = 120) {
  std::string command = "cd '" + cwd.string() + "' && PATH='" + (box.dir / "bin").string() + ":'\"$PATH\"; " + limits +
                        " exec timeout -s KILL " + std::to_string(seconds) + " '" + FlockchaseBinary + "'";
  for (const std::string& a : arguments) command += " '" + a + "'";
  command += " </dev/null >'" + (box.dir / "out.txt").string() + "' 2>'" + (box.dir / "err.txt").string() + "'";
  return run_shell(command, box.dir);
}

// Every entry of a folder with its kind and, for regular files, contents.
inline std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename();
    if (name == "out.txt" || name == "err.txt" || name == "bin") continue;
    const fs::file_status s = fs::symlink_status(entry.path());
    // The lock file is the one a refused run may leave (it names the process).
    const bool contents = s.type() == fs::file_type::regular && name != "flockchase.lock";
    entries[name] = std::to_string(static_cast<int>(s.type())) + ":" + (contents ? read_file(entry.path()) : "");
  }
  return entries;
}

inline std::size_t line_count(const std::string& text) { return lines_of(text).size(); }
