// picvec NAME: converts the bitmap NAME.bmp into NAME.png.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/picvec/arguments.hpp"
#include "tools/picvec/convert.hpp"

namespace {

// An interrupted conversion leaves no temporary file behind.
extern "C" void on_fatal_signal(int number) {
  remove_pending_temporary();
  std::signal(number, SIG_DFL);
  std::raise(number);
}

void install_signal_handlers() {
  // A signal the caller ignores (nohup, a parent that shields its children)
  // stays ignored.
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    if (std::signal(number, on_fatal_signal) == SIG_IGN) std::signal(number, SIG_IGN);
  // Past a file size limit, let the write fail with EFBIG and be reported
  // instead of killing the process.
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const PicvecInvocation invocation = parse_arguments(arguments);
  switch (invocation.action) {
    case PicvecAction::Help:
      std::fputs(std::string(help_text()).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case PicvecAction::UsageError:
      std::fprintf(stderr, "picvec: %s\n%s\n", invocation.problem.c_str(), std::string(usage_line()).c_str());
      return 2;
    case PicvecAction::Convert:
      break;
  }
  install_signal_handlers();
  const ConvertOutcome outcome = convert_bmp_to_png(invocation.bmp_path, invocation.png_path);
  if (!outcome.ok) {
    std::fprintf(stderr, "picvec: %s\n", outcome.message.c_str());
    return 1;
  }
  return 0;
}
