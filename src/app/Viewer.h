// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "app/Version.h"

namespace korvex {

// The viewer for recordings. Where a separate viewer program ("trendal") is installed
// beside Korvex, RunViewer starts it on the file without waiting; otherwise it starts
// Korvex's own viewer (korvex-view) beside the program, or failing that Korvex itself in
// its viewing mode, so that every recording can be shown. Returns 0, or -1 with "File
// Trendal.exe not found!" (buffer rule) when nothing could start.
int RunViewer(const std::string& file, std::string* err_text = nullptr);

// An argument of a Windows command line, quoted so that the started program's runtime
// reads it back unchanged (blanks, quotes, backslashes before quotes).
std::string QuoteWindowsArgument(const std::string& arg);

// The separate viewer's path when it is installed beside the program, else empty.
std::string FindViewer();

// The start-up message about the viewer, empty when there is nothing to say: Russian
// only, as the viewer's users have always seen it. A viewer without a version record
// (every Linux executable) is judged by its presence alone, and its absence needs no
// message where Korvex's own viewing mode stands in for it (`own_viewer`).
std::string ViewerStartupMessage(bool present, bool has_version_record, const Version4& version,
                                 bool own_viewer);

}  // namespace korvex
