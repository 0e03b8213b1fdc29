// Ends with the exit code given as its argument, or, given "signal N", by
// signal N. Waits first when given "sleep-ms N".
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "signal") == 0) {
    std::signal(std::atoi(argv[2]), SIG_DFL);
    std::raise(std::atoi(argv[2]));
    return 99;
  }
  if (argc == 3 && std::strcmp(argv[1], "sleep-ms") == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    return 0;
  }
  return argc > 1 ? std::atoi(argv[1]) : 0;
}
