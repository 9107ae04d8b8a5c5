#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

namespace korvex {

// printf-style formatting that never follows the process locale: "." is always the
// decimal point and digits are never grouped, whatever LC_NUMERIC the GUI toolkit took
// from the environment. Recording files, reports and fixed screen texts are read by
// other programs and by people who rely on that. Every message and file line of the
// program is built from a printf format, so the formats stay visible at the call site.
// Thread-safe: the locale is switched for the calling thread only, never for the process.
std::string StrPrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string StrVPrintf(const char* fmt, va_list ap);

// snprintf in the C locale: the same result and return value as std::snprintf.
int CSnprintf(char* buf, size_t size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// fprintf in the C locale, for the command-line programs' output.
int CFprintf(FILE* out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The English text of an error number (strerror in the C locale).
std::string ErrnoText(int error);

}  // namespace korvex
