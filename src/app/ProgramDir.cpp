// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProgramDir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace korvex {

std::string GetProgramDir() {
#ifdef _WIN32
    // The program's own file, cut back to the last backslash, which stays.
    char buf[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, buf, DWORD(sizeof buf));
    if (n == 0 || n >= sizeof buf) return ".\\";
    std::string path(buf, n);
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? ".\\" : path.substr(0, slash + 1);
#else
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
#endif
}

}  // namespace korvex
