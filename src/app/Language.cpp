// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Language.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#else
#include <cstdlib>
#include <string_view>
#endif

namespace korvex {

std::atomic<bool> g_bRussian{false};

#ifdef _WIN32

bool LocaleIsRussian() {
    char name[80] = {};
    if (GetLocaleInfoA(GetSystemDefaultLCID(), LOCALE_SENGLANGUAGE, name, sizeof name) == 0)
        return false;
    return std::strcmp(name, "Russian") == 0;
}

#else

namespace {

std::string_view Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

// The language part of a locale name: "ru" of "ru_RU.UTF-8", "ru-RU" or "ru@petr1708".
std::string_view LanguageOf(std::string_view name) {
    return name.substr(0, name.find_first_of("_-.@"));
}

}  // namespace

bool LocaleIsRussian() {
    // The order in which the C library looks for the messages' locale, and the user's
    // list of preferred languages, which only counts under a real locale: the GUI
    // toolkit chooses its language the same way, and both programs must agree.
    std::string_view name = Env("LC_ALL");
    if (name.empty()) name = Env("LC_MESSAGES");
    if (name.empty()) name = Env("LANG");
    if (name.empty() || name == "C" || name == "POSIX") return false;
    std::string_view preferred = Env("LANGUAGE");
    preferred = preferred.substr(0, preferred.find(':'));
    std::string_view language = LanguageOf(preferred.empty() ? name : preferred);
    return language == "ru" || language == "rus";
}

#endif

}  // namespace korvex
