// Writes its process id and then each argument after the first on a line
// of its own into the file named by the first argument.
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) return 3;
  std::fprintf(out, "%d\n", static_cast<int>(getpid()));
  for (int i = 2; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
  return std::fclose(out) == 0 ? 0 : 4;
}
