#include "tools/picvec/png_writer.hpp"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

namespace {

// Shared with libpng's callbacks. libpng reports errors by longjmp, so the
// callbacks only record what happened here; the caller turns it into text.
struct PngSink {
  std::FILE* out = nullptr;
  int write_errno = 0;
  char message[200] = {};
};

void on_error(png_structp png, png_const_charp message) {
  auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
  std::snprintf(sink->message, sizeof sink->message, "%s", message ? message : "unknown libpng error");
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void on_write(png_structp png, png_bytep data, std::size_t size) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  errno = 0;
  if (std::fwrite(data, 1, size, sink->out) != size) {
    sink->write_errno = errno != 0 ? errno : EIO;
    png_error(png, "write failed");
  }
}

void on_flush(png_structp png) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  errno = 0;
  if (std::fflush(sink->out) != 0) {
    sink->write_errno = errno != 0 ? errno : EIO;
    png_error(png, "write failed");
  }
}

// libpng leaves this function by longjmp on any error, so it holds no object
// that needs a destructor; the row callback has returned before each libpng
// call that might jump.
bool encode(png_structp png, png_infop info, const RgbRows& rows, std::uint8_t* row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, rows.width, rows.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (std::uint32_t y = 0; y < rows.height; ++y) {
    rows.fill(y, row);
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_write_flush(png);
  return true;
}

}  // namespace

bool write_png(std::FILE* out, const RgbRows& rows, std::string& problem) {
  if (rows.width == 0 || rows.height == 0) {
    problem = "cannot write an empty image";
    return false;
  }
  std::vector<std::uint8_t> row(std::size_t{rows.width} * 3);
  PngSink sink;
  sink.out = out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, on_error, on_warning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    problem = "out of memory";
    return false;
  }
  png_set_write_fn(png, &sink, on_write, on_flush);
  const bool ok = encode(png, info, rows, row.data());
  png_destroy_write_struct(&png, &info);
  if (!ok) problem = sink.write_errno != 0 ? std::strerror(sink.write_errno) : sink.message;
  return ok;
}
