// Starting another program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Run option: wait until the program has ended. The low 15 bits are the
// show mode of the program's window, which has no meaning here.
constexpr int RunWait = 0x8000;

// Longest command line handed on; the rest is cut off.
constexpr std::size_t CommandLineLimit = 256;

// Starts the program named by the first word of `command_line`, found along
// PATH, with the other words as its arguments. Words are separated by
// spaces; nothing else in the line has a meaning (no shell is involved).
// Returns the program's exit code when RunWait is set (128 + the signal
// number when a signal ended it), else its process id. When the program
// cannot be started, raises the run-time error for the reason (53 when it
// does not exist) and returns 0. With `inherit` 0 the program gets only
// standard input, output and error of our open descriptors.
std::int32_t run_command(std::string_view command_line, int options, int inherit);

// The argument vector of a command line: cut to CommandLineLimit bytes and
// at a zero byte, then split at runs of spaces.
std::vector<std::string> command_words(std::string_view command_line);
