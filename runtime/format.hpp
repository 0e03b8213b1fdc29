// Numbers as text under the control of a format mask.
//
// A mask has up to three sections separated by ";": positive values (and any
// value when it stands alone), negative values (shown without a sign of their
// own), zero. In a section: "0" a digit or 0, "#" a digit or nothing, "." the
// decimal point, "," after a digit position groups thousands, "%" after one
// scales by 100, "E-"/"E+" start the exponent, "*c" fills with c, "\c" and
// "..." are literal text, and "-+()$ " stand for themselves; everything else
// is dropped. Rounding is decimal on the value's 18-digit image, ties to the
// even digit. An empty section gives the general text of the value.
#pragma once

#include <string_view>

#include "runtime/real.hpp"
#include "runtime/text.hpp"

// Never fails on any value or mask; an allocation failure of the result
// raises run-time error 7 and gives "". A NaN gives "NaN".
Text format_number(Real value, std::string_view mask);
