// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StrPrintf.h"

#include <locale.h>
#include <string.h>

namespace korvex {

#ifndef _WIN32
namespace {

// The C locale, made once and never freed; uselocale() switches only the calling
// thread, so neither Qt's process locale nor other threads are disturbed.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

}  // namespace

CLocaleScope::CLocaleScope() : previous_(uselocale(CLocale())) {}
CLocaleScope::~CLocaleScope() {
    uselocale(static_cast<locale_t>(previous_));
}
#else
// Windows has no uselocale: the calling thread gets a locale of its own for the scope.
CLocaleScope::CLocaleScope() : mode_(_configthreadlocale(_ENABLE_PER_THREAD_LOCALE)) {
    const char* current = setlocale(LC_ALL, nullptr);
    saved_ = current ? current : "C";
    setlocale(LC_ALL, "C");
}
CLocaleScope::~CLocaleScope() {
    setlocale(LC_ALL, saved_.c_str());
    _configthreadlocale(mode_);
}
#endif

std::string StrVPrintf(const char* fmt, va_list ap) {
    CLocaleScope c;
    char small[256];
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
    return out;
}

std::string StrPrintf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string out = StrVPrintf(fmt, ap);
    va_end(ap);
    return out;
}

int CSnprintf(char* buf, size_t size, const char* fmt, ...) {
    CLocaleScope c;
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, size, fmt, ap);
    va_end(ap);
    return n;
}

int CFprintf(FILE* out, const char* fmt, ...) {
    CLocaleScope c;
    va_list ap;
    va_start(ap, fmt);
    int n = std::vfprintf(out, fmt, ap);
    va_end(ap);
    return n;
}

std::string ErrnoText(int error) {
#ifdef _WIN32
    CLocaleScope c;
    return strerror(error);
#else
    return strerror_l(error, CLocale());
#endif
}

}  // namespace korvex
