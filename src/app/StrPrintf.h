// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

// The C99 printf the functions below use (MinGW's own, not the Windows runtime's, so
// that "%zu" and "%lld" work there too).
#if defined(__MINGW32__)
#define KORVEX_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define KORVEX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

namespace korvex {

// printf-style formatting that never follows the process locale: "." is always the
// decimal point and digits are never grouped, whatever LC_NUMERIC the GUI toolkit took
// from the environment. Recording files, reports and fixed screen texts are read by
// other programs and by people who rely on that. Every message and file line of the
// program is built from a printf format, so the formats stay visible at the call site.
// Thread-safe: the locale is switched for the calling thread only, never for the process.
std::string StrPrintf(const char* fmt, ...) KORVEX_PRINTF(1, 2);
std::string StrVPrintf(const char* fmt, va_list ap);

// snprintf in the C locale: the same result and return value as std::snprintf.
int CSnprintf(char* buf, size_t size, const char* fmt, ...) KORVEX_PRINTF(3, 4);

// fprintf in the C locale, for the command-line programs' output.
int CFprintf(FILE* out, const char* fmt, ...) KORVEX_PRINTF(2, 3);

// The English text of an error number (strerror in the C locale).
std::string ErrnoText(int error);

// The C locale for the calling thread while the object lives, for the C library's own
// number formatting and reading; other threads and the process locale keep theirs.
class CLocaleScope {
public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    [[maybe_unused]] void* previous_ = nullptr;  // the thread's locale before (POSIX)
    [[maybe_unused]] int mode_ = 0;              // the thread's locale mode before (Windows)
    std::string saved_;                          // the locale's name before (Windows)
};

}  // namespace korvex
