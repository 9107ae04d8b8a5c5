// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PathNames.h"

namespace korvex {

size_t LastSeparator(const std::string& path) {
#ifdef _WIN32
    return path.find_last_of("/\\");
#else
    return path.rfind('/');
#endif
}

std::string WithoutType(const std::string& path) {
    size_t slash = LastSeparator(path), dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

std::string FileStem(const std::string& path) {
    size_t slash = LastSeparator(path);
    return WithoutType(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace korvex
