// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvex::cli {

// Strict readers of command-line numbers: the whole argument must be the number, within
// [lo, hi]. False for anything else ("50x", "abc", "", a number out of range), so that a
// mistyped value is refused instead of read as 0 or as a huge number.
bool ParseLong(const char* s, long lo, long hi, long* out, int base = 10);
// A finite decimal number with lo < value <= hi.
bool ParseSeconds(const char* s, double lo, double hi, double* out);

}  // namespace korvex::cli
