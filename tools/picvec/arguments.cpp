#include "tools/picvec/arguments.hpp"

#include <utility>

#include "runtime/printable.hpp"

namespace {

constexpr std::string_view Usage = "usage: picvec [--help] [--] NAME";

constexpr std::string_view Help =
    "usage: picvec [--help] [--] NAME\n"
    "Converts the bitmap NAME.bmp into the PNG image NAME.png in the same folder.\n"
    "flockchase runs it at the end of a run on the chart it saved.\n"
    "\n"
    "NAME.bmp must be a 24-bit uncompressed Windows bitmap, rows stored bottom-up\n"
    "or top-down, at most 32768 x 32768 pixels. A NAME that already ends in .bmp\n"
    "names the bitmap itself: \"picvec chart.bmp\" writes chart.png.\n"
    "The PNG is written to a temporary file beside it and renamed to NAME.png only\n"
    "when complete: if anything fails, an earlier NAME.png stays as it was.\n"
    "Put -- before a NAME that starts with a dash.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text and exit\n"
    "\n"
    "Exit status: 0 when NAME.png was written; 1 when the bitmap could not be read\n"
    "or the PNG could not be written (one line on standard error says why);\n"
    "2 for a wrong command line.\n";

PicvecInvocation usage_error(std::string problem) {
  PicvecInvocation invocation;
  invocation.action = PicvecAction::UsageError;
  invocation.problem = std::move(problem);
  return invocation;
}

bool ends_with_bmp(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view tail = name.substr(name.size() - 4);
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return tail[0] == '.' && lower(tail[1]) == 'b' && lower(tail[2]) == 'm' && lower(tail[3]) == 'p';
}

}  // namespace

// Each option at most once, as in flockchase: a second one is refused. The
// help comes once the whole command line is read, so that it never hides a
// bad one.
PicvecInvocation parse_arguments(const std::vector<std::string>& arguments) {
  std::vector<std::string_view> names;
  bool options_ended = false;
  bool help = false;
  for (const std::string& argument : arguments) {
    if (!options_ended && argument.size() > 1 && argument[0] == '-') {
      if (argument == "--help" || argument == "-h") {
        if (help) return usage_error(argument + " is given more than once");
        help = true;
        continue;
      }
      if (argument == "--") {
        options_ended = true;
        continue;
      }
      return usage_error("unknown option '" + printable(argument) + "'");
    }
    names.push_back(argument);
  }
  if (help) {
    PicvecInvocation invocation;
    invocation.action = PicvecAction::Help;
    return invocation;
  }
  if (names.empty()) return usage_error("missing NAME (the bitmap's name without .bmp)");
  if (names.size() > 1) return usage_error("too many arguments: give one NAME");
  if (names[0].empty()) return usage_error("NAME is empty");
  PicvecInvocation invocation;
  invocation.action = PicvecAction::Convert;
  paths_for_name(names[0], invocation.bmp_path, invocation.png_path);
  return invocation;
}

void paths_for_name(std::string_view name, std::string& bmp_path, std::string& png_path) {
  if (ends_with_bmp(name)) {
    bmp_path = name;
    png_path = std::string(name.substr(0, name.size() - 4)) + ".png";
  } else {
    bmp_path = std::string(name) + ".bmp";
    png_path = std::string(name) + ".png";
  }
}

std::string_view usage_line() { return Usage; }

std::string_view help_text() { return Help; }

std::string printable(std::string_view text) { return escape_controls(text); }
