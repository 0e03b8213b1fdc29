#include "process_support.hpp"

#include "support/drain_pipes.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

ProcessResult run_process(const std::vector<std::string>& argv, const SpawnOptions& options) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const std::string directory = options.directory.string();

  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int null_in = open("/dev/null", O_RDONLY);
    if (null_in < 0 || dup2(null_in, 0) < 0 || dup2(out_pipe[1], 1) < 0 || dup2(err_pipe[1], 2) < 0) _exit(126);
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
    if (options.umask) umask(*options.umask);
    if (options.file_size_limit) {
      struct rlimit limit {};
      limit.rlim_cur = limit.rlim_max = *options.file_size_limit;
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (options.memory_limit) {
      struct rlimit limit {};
      limit.rlim_cur = limit.rlim_max = *options.memory_limit;
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);

  ProcessResult result;
  drain_pipes(out_pipe[0], err_pipe[0], result.out, result.err);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

ProcessResult run_picvec(const std::vector<std::string>& arguments, const SpawnOptions& options) {
  std::vector<std::string> argv{PICVEC_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run_process(argv, options);
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "picvec-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

void write_file(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::uint8_t> read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> folder_names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<RgbRaster> parse_ppm(const std::string& ppm) {
  std::size_t at = 0;
  auto next_token = [&]() -> std::optional<std::string> {
    while (at < ppm.size()) {
      if (ppm[at] == '#') {
        while (at < ppm.size() && ppm[at] != '\n') ++at;
      } else if (std::isspace(static_cast<unsigned char>(ppm[at]))) {
        ++at;
      } else {
        break;
      }
    }
    const std::size_t start = at;
    while (at < ppm.size() && !std::isspace(static_cast<unsigned char>(ppm[at]))) ++at;
    if (start == at) return std::nullopt;
    return ppm.substr(start, at - start);
  };
  const auto magic = next_token();
  const auto width = next_token();
  const auto height = next_token();
  const auto maxval = next_token();
  if (!magic || *magic != "P6" || !width || !height || !maxval || *maxval != "255") return std::nullopt;
  ++at;  // the single whitespace byte before the raster
  RgbRaster raster;
  raster.width = static_cast<std::uint32_t>(std::stoul(*width));
  raster.height = static_cast<std::uint32_t>(std::stoul(*height));
  const std::size_t size = std::size_t{raster.width} * raster.height * 3;
  if (at + size != ppm.size()) return std::nullopt;
  raster.rgb.assign(ppm.begin() + static_cast<std::ptrdiff_t>(at), ppm.end());
  return raster;
}

namespace {

std::optional<RgbRaster> read_by_netpbm(const std::string& tool, const fs::path& file, std::string& why) {
  const ProcessResult result = run_process({tool, file.string()});
  if (result.exit_code != 0) {
    why = tool + " exited with " + std::to_string(result.exit_code) + ": " + result.err;
    return std::nullopt;
  }
  auto raster = parse_ppm(result.out);
  if (!raster) why = tool + " wrote no 8-bit PPM";
  return raster;
}

}  // namespace

std::optional<RgbRaster> png_read_by_netpbm(const fs::path& png, std::string& why) {
  return read_by_netpbm("pngtopnm", png, why);
}

std::optional<RgbRaster> bmp_read_by_netpbm(const fs::path& bmp, std::string& why) {
  return read_by_netpbm("bmptopnm", bmp, why);
}
