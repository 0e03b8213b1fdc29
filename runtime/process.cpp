#include "runtime/process.hpp"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <system_error>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "runtime/console.hpp"
#include "runtime/errors.hpp"

extern char** environ;

namespace {

int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 0;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 0;
}

// posix_spawnp with the program getting a clean signal state: the signals
// we ignore (Ctrl+C while keys are read raw) would otherwise stay ignored.
int spawn(pid_t& pid, const std::vector<std::string>& words, bool inherit) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  if (!inherit) posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  int result = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);

  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result;
}

}  // namespace

std::vector<std::string> command_words(std::string_view command_line) {
  command_line = command_line.substr(0, CommandLineLimit);
  command_line = command_line.substr(0, command_line.find('\0'));
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < command_line.size()) {
    if (command_line[i] == ' ') {
      ++i;
      continue;
    }
    std::size_t end = command_line.find(' ', i);
    if (end == std::string_view::npos) end = command_line.size();
    words.emplace_back(command_line.substr(i, end - i));
    i = end;
  }
  return words;
}

std::int32_t run_command(std::string_view command_line, int options, int inherit) {
  const std::vector<std::string> words = command_words(command_line);
  if (words.empty()) {
    raise_error(error_from_errno(ENOENT));
    return 0;
  }
  pid_t pid = 0;
  auto started = call_platform([&] {
    int result = spawn(pid, words, inherit != 0);
    errno = result;
    return result;
  });
  if (started.value != 0) {
    raise_error(started.mapped);
    return 0;
  }
  if ((options & RunWait) == 0) {
    // Nobody waits for it, so reap it when it ends rather than leave a
    // zombie behind for the rest of a long run.
    try {
      std::thread([pid] { wait_for(pid); }).detach();
    } catch (const std::system_error&) {
      // No thread to spare: the program still runs, only its exit goes unread.
    }
    return static_cast<std::int32_t>(pid);
  }
  const int code = wait_for(pid);
  // It may have written to the terminal: the console asks where the cursor is.
  console_forget_cursor();
  return code;
}
