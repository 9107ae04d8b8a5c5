#pragma once

#include <string>

namespace korvex {

// The viewer for recordings. Where a separate viewer program ("trendal") is installed
// beside Korvex, RunViewer starts it on the file without waiting; otherwise it starts
// Korvex itself on the file (its own viewing mode), so that every recording can be
// shown. Returns 0, or -1 after "File Trendal.exe not found!" when nothing could start.
int RunViewer(const std::string& file);

// The separate viewer's path when it is installed beside the program, else empty.
std::string FindViewer();

}  // namespace korvex
