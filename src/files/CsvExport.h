// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

#include "files/ExportFile.h"

namespace korvex {

class RecordingData;

// How a CSV export separates fields and writes its decimal point. The default, "," and
// ".", is what scripts and most programs read; decimal_comma gives ";" between fields and
// "," as the decimal point, which a spreadsheet set to Russian opens as columns of numbers.
struct CsvStyle {
    bool decimal_comma = false;
};

// Writes rows [begin, end) of a recording as CSV: a header row of "Time (s)" and the
// channel names (quoted where they hold the separator, a quote or a line end), then one row
// per sample: its time from the start of the recording and each channel's value. The
// decimal point is `style`'s whatever the locale; a value is written as the shortest
// decimal that reads back as the same number; lines end in CR LF. The file is written as
// ExportFile says, never over the recording itself; false with its messages or "Cancelled".
bool ExportCsv(const RecordingData& data, size_t begin, size_t end, const std::string& path,
               bool overwrite, std::string* err_text, const ExportControl& control = {},
               CsvStyle style = {});

// A time in seconds with at most nine decimals, trailing zeros dropped ("0.018", "12").
// Returns the end of the text written at `out` (at most 32 bytes for any time).
char* FormatSeconds(double seconds, char* out);

}  // namespace korvex
