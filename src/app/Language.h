// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace korvex {

// true: the Russian texts. Set once at start-up from the user's locale.
extern std::atomic<bool> g_bRussian;

// The text of a message that exists in both languages.
inline const char* Tr(const char* russian, const char* english) {
    return g_bRussian ? russian : english;
}

// Whether the user's locale asks for the Russian texts. On Windows: the English name of
// the language of the system's default locale is "Russian". Elsewhere: the locale named
// for messages (LC_ALL, else LC_MESSAGES, else LANG) is neither unset nor "C" nor
// "POSIX", and its language, or that of the first entry of LANGUAGE when there is one,
// is Russian ("ru_RU.UTF-8", "ru"). Reads the environment only; allocates nothing.
bool LocaleIsRussian();

}  // namespace korvex
