// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvex {

// Pieces of a file path as the platform separates them: '/' here, '/' or '\' on Windows.

// The position of the last separator, npos when there is none.
size_t LastSeparator(const std::string& path);

// The path without its type ("dir/a.b.trd" → "dir/a.b"); a dot in a folder's name is
// not a type.
std::string WithoutType(const std::string& path);

// The file's name without folder and type ("dir/a.b.trd" → "a.b").
std::string FileStem(const std::string& path);

}  // namespace korvex
