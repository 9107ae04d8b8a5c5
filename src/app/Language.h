#pragma once

#include <atomic>

namespace korvex {

// true: the Russian texts. Set once at start-up from the user's locale.
extern std::atomic<bool> g_bRussian;

// The text of a message that exists in both languages.
inline const char* Tr(const char* russian, const char* english) {
    return g_bRussian ? russian : english;
}

}  // namespace korvex
