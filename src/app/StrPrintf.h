#pragma once

#include <string>

namespace korvex {

// printf-style formatting into a std::string; every message and file line of the
// program is built from a printf format, so the formats stay visible at the call site.
std::string StrPrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace korvex
