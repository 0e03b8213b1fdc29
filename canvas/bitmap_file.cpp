#include <cerrno>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>

#include "canvas/bitmap.hpp"
#include "canvas/canvas.hpp"
#include "runtime/replace_file.hpp"

namespace {

// One line on standard error; control characters in the name would break it.
void report(std::string_view file_name, const std::string& reason) {
  std::string name(file_name);
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  std::fprintf(stderr, "%s: cannot save bitmap \"%s\": %s\n", program_invocation_short_name, name.c_str(),
               reason.c_str());
  std::fflush(stderr);
}

}  // namespace

bool canvas_save_bmp(std::string_view file_name) {
  if (file_name.empty()) return false;
  std::shared_ptr<Canvas> canvas = canvas_current();
  if (!canvas) return false;
  std::vector<std::uint8_t> bytes;
  try {
    std::lock_guard<std::mutex> guard(canvas->lock);
    bytes = bitmap_encode(canvas->raster);
  } catch (const std::bad_alloc&) {
    report(file_name, "out of memory");
    return false;
  }
  std::string reason;
  if (replace_file(std::string(file_name), bytes, reason)) return true;
  report(file_name, reason);
  return false;
}
