// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace korvex {

// The recorder writer's "#INFO=" line: the recording's number in the regulator and the
// regulator's clock at its first row.
struct RecordingStart {
    int number = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Reads "File : %4d_(%4d.%2d.%2d_%2d.%2d.%2d.%3d)"; false when the text is not of that
// form or names no valid date and time.
bool ParseRecordingStart(const std::string& info, RecordingStart* start);

// Seconds from 1970-01-01 00:00:00 of a clock reading, without any time zone: the
// regulator's clock has none.
double ClockSeconds(const RecordingStart& start);

// A clock reading `seconds` after 1970-01-01 as "2013-05-15 10:16:00.456".
std::string FormatClock(double seconds);

// Everything the header lines of a recording say, read the way a viewer needs it: all
// lines beginning with "#" before the first data row, in any order, and every channel's
// name whatever the number of channels.
struct RecordingInfo {
    std::string file_value;          // "#FILE=" up to its first control character
    std::string info_value;          // "#INFO=" likewise; empty when absent
    int channels = 0;                // "#CHAN=", or the number of names without it
    std::vector<std::string> names;  // one per channel; "Channel N" where the file has none
    double rate = 0;                 // "#F=" (0 read as 1.0); 0 when absent
    double step = 1;                 // "#XX=" step, else 1 / rate, else 1: seconds per row
    bool has_start = false;          // "#INFO=" names the first row's clock time
    RecordingStart start;
    // Records read from other formats (COMTRADE) say more: each channel's unit (empty
    // when unknown; none at all for recorder files), the first 0/1 status channel (the
    // channels from it on are status channels; -1: none), the first sample's clock time
    // with its microseconds (ClockSeconds scale; NaN when unknown), and the trigger's
    // time from the first sample in seconds (NaN when none).
    std::vector<std::string> units;
    int status_from = -1;
    double start_seconds = std::numeric_limits<double>::quiet_NaN();
    double trigger_seconds = std::numeric_limits<double>::quiet_NaN();
    // The record's offset of its clock from UTC and of local time from UTC as written
    // ("+5h30", "-3", "x"; empty when the record says none). The clock times above are
    // the record's own, as written.
    std::string time_code, local_code;
};

}  // namespace korvex
