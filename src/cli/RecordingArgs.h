// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "files/RecordingData.h"

namespace korvex::cli {

// A recording named on the command line with an optional time range, as `stats` and
// `export` take them.
struct RecordingArgs {
    std::string path;
    bool has_from = false, has_to = false;
    double from = 0, to = 0;

    // Takes the value of --from or --to (`option`, with its dashes): the message of the
    // usage error when it is no time in seconds, empty when taken.
    std::string TakeTime(std::string_view option, const char* value);
};

// Loads the file (complete rows only; a note on stderr tells of an unfinished last line)
// and turns the range into rows [begin, end). Prints the message and returns false when
// the file cannot be read, holds no rows, or the range holds none.
bool LoadRecording(const RecordingArgs& args, RecordingData* data, size_t* begin, size_t* end);

// On standard error: the last `bytes` of the file are a row still being written, left out.
void NotePendingRow(unsigned long long bytes);

}  // namespace korvex::cli
