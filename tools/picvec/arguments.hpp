// The command line of picvec: what to do and which files to use.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class PicvecAction { Convert, Help, UsageError };

struct PicvecInvocation {
  PicvecAction action = PicvecAction::UsageError;
  std::string bmp_path;  // Convert: the bitmap to read
  std::string png_path;  // Convert: the PNG to write
  std::string problem;   // UsageError: what is wrong with the command line
};

// `arguments` are those after the program name.
PicvecInvocation parse_arguments(const std::vector<std::string>& arguments);

// NAME.bmp and NAME.png for a base name; a NAME that already ends in ".bmp"
// (in any case) names the bitmap itself and its PNG replaces that ending.
void paths_for_name(std::string_view name, std::string& bmp_path, std::string& png_path);

// One line, without a line feed.
std::string_view usage_line();
// The whole --help text, ending in a line feed.
std::string_view help_text();

// `text` with control characters and bytes that are not UTF-8 escaped (\n,
// \xe9), so that a file name cannot break a one-line message apart.
std::string printable(std::string_view text);
