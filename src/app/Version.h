// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace korvex {

using Version4 = std::array<uint32_t, 4>;

// The program's own version (major, minor, build, beta), compiled in from the build.
Version4 OwnVersion();

// Version numbers of a program file: 0 with the four numbers, or -1 when the file
// cannot be read. Linux executables carry no version record: a readable file gives 0
// with all numbers 0.
int GetFileVersion4(const std::string& path, Version4* out);

// -1, 0 or 1: the numbers compared in order as unsigned values.
int CompareVersion4(const Version4& a, const Version4& b);

// The caption rule of every window: " Korvex v%d.%d.%d", " Beta %d" when the fourth
// number is not 0, and "  -  %s" with the old caption when there was one.
std::string TitleWithVersion(const std::string& old_caption,
                             const Version4& version = OwnVersion());

// "Korvex   v%d.%d.%d.%d" for the about box.
std::string AboutVersionLine(const Version4& version = OwnVersion());

// The licence Korvex is distributed under, for the about box and --version (in the
// language g_bRussian chooses).
const char* LicenceLine();

// What `program --version` prints: "<program> <major>.<minor>.<patch>" (" beta N" when
// the fourth number is not 0), then the licence line, each ending in "\n".
std::string VersionText(const char* program, const Version4& version = OwnVersion());

}  // namespace korvex
