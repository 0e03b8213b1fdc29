// Spawning real programs (picvec, pngtopnm, bmptopnm) for the picvec tests,
// and a temporary folder to run them in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/picvec/bmp_reader.hpp"

struct ProcessResult {
  int exit_code = -1;  // -1 when the process did not exit normally
  int signal = 0;      // the signal that ended it, if one did
  std::string out;
  std::string err;
};

struct SpawnOptions {
  std::filesystem::path directory{};            // working folder of the child
  std::optional<std::uint64_t> file_size_limit{};  // RLIMIT_FSIZE in bytes
  std::optional<std::uint64_t> memory_limit{};     // RLIMIT_AS in bytes
  std::optional<unsigned> umask{};
};

// Runs `argv` (argv[0] looked up on PATH when it has no slash), its standard
// input on /dev/null, and collects both output streams.
ProcessResult run_process(const std::vector<std::string>& argv, const SpawnOptions& options = {});

// The picvec built with these tests.
ProcessResult run_picvec(const std::vector<std::string>& arguments, const SpawnOptions& options);

// A fresh empty folder, removed with everything in it at the end.
struct TempDir {
  std::filesystem::path path;
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
};

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> read_file(const std::filesystem::path& path);
// The names in a folder, sorted.
std::vector<std::string> folder_names(const std::filesystem::path& folder);

// Decodes a binary PPM (P6, maxval 255) as netpbm writes it.
std::optional<RgbRaster> parse_ppm(const std::string& ppm);

// The image in a PNG file as read by netpbm's pngtopnm; nullopt (with the
// reason in `why`) when pngtopnm does not accept it.
std::optional<RgbRaster> png_read_by_netpbm(const std::filesystem::path& png, std::string& why);
// The same for a bitmap file through bmptopnm.
std::optional<RgbRaster> bmp_read_by_netpbm(const std::filesystem::path& bmp, std::string& why);
