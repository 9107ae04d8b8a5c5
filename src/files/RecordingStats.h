// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/RecordingInfo.h"

namespace korvex {

class RecordingData;

// One channel over a row range: its extremes with the row of their first occurrence, its
// mean and its root mean square. Values that are not numbers are left out (`count`).
struct ChannelStats {
    double min = 0, max = 0;
    size_t min_row = 0, max_row = 0;
    double mean = 0, rms = 0;
    size_t count = 0;
};

// The statistics of every channel over rows [begin, end) of a loaded recording, the
// channels shared out over `threads` threads (0: one per processor).
std::vector<ChannelStats> ComputeStats(const RecordingData& data, size_t begin, size_t end,
                                       unsigned threads = 0);

// The rows [begin, end) whose time lies in [from, to] seconds, for a recording of `rows`
// rows `step` seconds apart; false when there are none.
bool RowsBetween(size_t rows, double step, double from, double to, size_t* begin, size_t* end);
bool RowsBetween(const RecordingData& data, double from, double to, size_t* begin, size_t* end);

// A recording file's statistics, read once and never held in memory, so that a file of
// any size can be looked at: the whole file in one parallel pass, or a time range after
// a first pass that counts the rows. Memory stays at a few hundred bytes a channel for
// each piece the file is split into, whatever the rows lack; a value a row lacks is the
// row before's, as RecordingData reads it.
struct FileStats {
    RecordingInfo info;
    size_t rows = 0;            // complete rows in the file
    size_t begin = 0, end = 0;  // the rows the statistics cover
    size_t seq_errors = 0;
    uint64_t pending_bytes = 0;  // a last row still being written, left out
    std::vector<ChannelStats> channels;
};

// Reads `path` (complete rows only) and fills `out` for the rows whose time lies in
// [from, to] seconds; a null bound is the file's start or end. False with a message by
// the buffer rule: RecordingScan's, "'%s' holds no rows", "No rows between %.6f s and
// %.6f s (the recording ends at %.6f s)", "Not enough memory for %zu rows of %d channels"
// (an allocation that failed). Never throws.
bool ScanFileStats(const std::string& path, const double* from, const double* to, FileStats* out,
                   std::string* err_text, unsigned threads = 0);

}  // namespace korvex
