// Condenses a buffer of successive running estimates into the limit they are
// heading for and their spread.
#pragma once

#include <cstdint>

#include "runtime/real.hpp"

// buffer(0..upper), oldest first. Three overlapping blocks of m + 1 elements
// (m = upper / 3 rounded to nearest; the third block runs to the end but is
// still divided by m + 1) give three means; while they settle (the last
// difference smaller than the first) `limit` is the value L for which
// 1/(A - L) is equally spaced over them, otherwise their plain mean. `range`
// is the spread of the buffer together with `limit`. A NaN element or limit
// never wins a comparison, so a NaN limit gives a NaN range. upper < 0 (no
// elements) gives NaN for both.
void ConvergedEstimate(const Real* buffer, std::int32_t upper, Real& limit, Real& range);
