// The process frame: numeric environment, runtime records, console mode,
// the call of the main procedure and the exit code.
#pragma once

#include <string>
#include <vector>

struct MainArguments {
  const std::string& command_tail;
  const std::vector<std::string>& arguments;  // without the program name
  int show_mode;
};

using MainProcedure = int (*)(const MainArguments&);

// The floating-point control word of the whole run: all x87 exceptions
// masked, 64-bit significand, round to nearest (ties to even).
void set_numeric_environment();

// Joins the arguments with single spaces: the argument part of a command line.
std::string command_tail_of(const std::vector<std::string>& arguments);

// Opens /dev/null on each of descriptors 0 to 2 that is closed, so that no
// file opened later takes the place of standard input, output or error.
// False when that cannot be done.
bool occupy_standard_descriptors();

// Runs `main` with the runtime set up and ends the process with its result.
[[noreturn]] void program_entry(int argc, char** argv, MainProcedure main);
