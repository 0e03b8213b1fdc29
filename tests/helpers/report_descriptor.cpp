// Exits with 0 when the descriptor given as its argument is open, else 1.
#include <cstdlib>
#include <fcntl.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  return fcntl(std::atoi(argv[1]), F_GETFD) >= 0 ? 0 : 1;
}
