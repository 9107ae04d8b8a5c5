// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

#include "files/RecordingData.h"

namespace korvex::cli {

// A recording named on the command line with an optional time range, as `stats` and
// `export` take them.
struct RecordingArgs {
    std::string path;
    bool has_from = false, has_to = false;
    double from = 0, to = 0;

    // Takes argv[*i] when it is "--from SEC", "--to SEC" or the file name (always a file
    // name after "--", when `files_only`), moving *i past what it took: 1. Returns 0 for an
    // argument that is not one of these, -1 after printing why a time is wrong.
    int Take(int argc, char** argv, int* i, bool files_only, const char* command);
};

// Loads the file (complete rows only; a note on stderr tells of an unfinished last line)
// and turns the range into rows [begin, end). Prints the message and returns false when
// the file cannot be read, holds no rows, or the range holds none.
bool LoadRecording(const RecordingArgs& args, RecordingData* data, size_t* begin, size_t* end);

// On standard error: the last `bytes` of the file are a row still being written, left out.
void NotePendingRow(unsigned long long bytes);

}  // namespace korvex::cli
