// Running the real flockchase binary in a scratch directory, with a stand-in
// converter first on PATH that records how it was called.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/files/checksum.hpp"

namespace fs = std::filesystem;

inline const std::string FlockchaseBinary = FLOCKCHASE_BINARY_DIR "/app/flockchase";

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

struct RunOutput {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline void write_text(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Runs a shell command that sends its outputs to out.txt and err.txt in
// `outputs`, and collects them with its exit code.
inline RunOutput run_shell(const std::string& command, const fs::path& outputs) {
  RunOutput r;
  const int status = std::system(command.c_str());
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_file(outputs / "out.txt");
  r.err = read_file(outputs / "err.txt");
  return r;
}

struct Sandbox {
  fs::path dir;
  Sandbox() {
    char pattern[] = "/tmp/flockchase-run-XXXXXX";
    dir = mkdtemp(pattern);
    fs::create_directory(dir / "bin");
    std::ofstream stub(dir / "bin" / "picvec");
    stub << "#!/bin/sh\n"
            "printf '%s\\n' \"$#\" \"$@\" >> \"$(dirname \"$0\")/../picvec.calls\"\n"
            "if [ -f \"$1.bmp\" ]; then stat -c %s \"$1.bmp\" >> \"$(dirname \"$0\")/../picvec.calls\"; "
            "else echo missing >> \"$(dirname \"$0\")/../picvec.calls\"; fi\n";
    stub.close();
    fs::permissions(dir / "bin" / "picvec", fs::perms::owner_all);
  }
  ~Sandbox() { fs::remove_all(dir); }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // The shell command that runs flockchase here, standard input from
  // /dev/null and the outputs into out.txt and err.txt.
  std::string command(const std::vector<std::string>& arguments) const {
    std::string command = "cd '" + dir.string() + "' && PATH='" + (dir / "bin").string() + ":'\"$PATH\" exec '" +
                          FlockchaseBinary + "'";
    for (const std::string& a : arguments) command += " '" + a + "'";
    return command + " </dev/null >out.txt 2>err.txt";
  }

  RunOutput run(const std::vector<std::string>& arguments) const { return run_shell(command(arguments), dir); }

  std::string file(const std::string& name) const { return read_file(dir / name); }
  bool exists(const std::string& name) const { return fs::exists(dir / name); }
};

// A checkpoint's text with its last line ("crc XXXXXXXX") made to match
// again, for damage that the field checks, not the checksum, are to find.
inline std::string reseal_checkpoint(const std::string& text) {
  const std::size_t last = text.rfind("crc ");
  const std::string body = text.substr(0, last);
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", crc_of(body));
  return body + "crc " + crc + "\n";
}

// The results file without its seconds column, which depends on the machine.
inline std::string results_without_seconds(const std::string& csv) {
  std::string out;
  for (const std::string& line : lines_of(csv)) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
    if (!line.empty() && line.back() == ',') fields.push_back("");
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i == 8) continue;
      out += fields[i];
      out += i + 1 < fields.size() ? "," : "";
    }
    out += '\n';
  }
  return out;
}

// Eleven columns between damping 0.83 and 0.87 that all end by convergence,
// most within a fraction of a second, so their results do not depend on the
// speed of the machine.
inline const std::vector<std::string> ConvergingRun = {"--headless", "--damping", "0.83:0.87", "--step", "3"};

// A saved chart, read straight from its bytes (24-bit, bottom-up).
struct Bitmap {
  int width = 0, height = 0;
  std::string bytes;
  // 0x00BBGGRR of the pixel at (x, y), y counted from the top.
  unsigned pixel(int x, int y) const {
    const int stride = (width * 3 + 3) / 4 * 4;
    const std::size_t at = 54 + static_cast<std::size_t>(height - 1 - y) * stride + x * 3;
    const auto b = static_cast<unsigned char>(bytes[at]);
    const auto g = static_cast<unsigned char>(bytes[at + 1]);
    const auto r = static_cast<unsigned char>(bytes[at + 2]);
    return (b << 16) | (g << 8) | r;
  }
};

inline Bitmap load_bitmap(const fs::path& path) {
  Bitmap b;
  b.bytes = read_file(path);
  if (b.bytes.size() >= 54) {
    b.width = *reinterpret_cast<const std::int32_t*>(&b.bytes[18]);
    b.height = *reinterpret_cast<const std::int32_t*>(&b.bytes[22]);
  }
  return b;
}

constexpr unsigned Black = 0x000000;
