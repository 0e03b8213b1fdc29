#include "app/files/base_name.hpp"

Text BaseNameFromTitle(std::string_view title) {
  // Backslash and space end a name as on the console this comes from; the
  // slash is the separator of Linux paths.
  const std::int32_t last_separator = string_find_any(-1, title, "\\ /");
  const Text last_part = string_mid(title, last_separator + 1, TextRest);
  return string_extract(1, last_part, ".");
}
