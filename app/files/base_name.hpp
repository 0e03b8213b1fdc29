// The name of a run, derived from the console title: the last part of the
// title after a backslash, a slash or a space, up to its first dot.
#pragma once

#include <string_view>

#include "runtime/text.hpp"

Text BaseNameFromTitle(std::string_view title);
