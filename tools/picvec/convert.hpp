// Converting a bitmap file into a PNG file on disk.
#pragma once

#include <string>

struct ConvertOutcome {
  bool ok = false;
  std::string message;  // on failure: one line naming the file and the problem
};

// Reads the bitmap at `bmp_path` and writes it as a PNG to `png_path`. The PNG
// goes to a temporary file in the same folder, renamed over `png_path` only
// when complete; on any failure the temporary file is removed and an earlier
// file at `png_path` is left as it was.
ConvertOutcome convert_bmp_to_png(const std::string& bmp_path, const std::string& png_path);

// Removes the temporary file of a conversion in progress, if any. Safe to call
// from a signal handler.
void remove_pending_temporary();
