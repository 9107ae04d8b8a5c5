// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "files/ExportFile.h"

namespace korvex {

class RecordingData;

// How a recording's channels go into a COMTRADE record (IEEE C37.111-1999).
struct ComtradeChannel {
    int column = 0;       // channel of the recording
    std::string id;       // its name, commas replaced
    std::string unit;     // "pu" for the fault recorder's measured values, else "NA"
    double a = 1, b = 0;  // analog: value = a × sample + b, samples within ±32767; a > 0
    double on = 0;        // status: the value that reads as 1 (the flag's scale)
};

struct ComtradePlan {
    std::string station;  // "#FILE=", else "#INFO=", else the file's name
    std::vector<ComtradeChannel> analog;
    std::vector<ComtradeChannel> status;
    double rate = 1;  // samples per second, from the header
    size_t samples = 0;
    double first_time = 0;  // clock seconds (ClockSeconds) of the first sample
    int time_mult = 1;      // time stamps in units of time_mult µs
    bool binary = true;
    // Why the record cannot be written, empty when it can: a time step that gives no
    // finite sample rate, or rows whose clock times fall outside the years 1 to 9999
    // that the .cfg's dd/mm/yyyy dates can hold.
    std::string refusal;
};

// Chooses the channels' kinds and scales for rows [begin, end). Analog channels get a
// finite multiplier and offset from the range of the data, so that the quantisation error
// is at most (max - min) / 131068, or half the smallest normal double where that range is
// too narrow to be divided (a column of 0 and 4.9e-324), and any range of finite doubles
// (±1.7e308) still fits ±32767. The fault recorder's Write, Prot and RF columns become status
// channels where they hold no more than one value besides 0; State (0-15) stays analog.
// The first sample's time is the recorder's "#INFO=" clock, else the file's time stamp
// (local time) less the recording's duration, the time its last row was written.
ComtradePlan PlanComtrade(const RecordingData& data, size_t begin, size_t end, bool binary);

// The .cfg file's text (CR LF line ends). A plan with a refusal gets dates clamped to
// the years 1 to 9999.
std::string ComtradeConfigText(const ComtradePlan& plan);

// Writes base + ".cfg" and base + ".dat" for rows [begin, end) (a base ending in ".cfg" or
// ".dat" is taken without it). Neither file is written when either exists, unless
// `overwrite`, nor when either is the recording itself; both are written as ExportFile
// says. False with ExportFile's messages, "Cancelled", or the plan's refusal:
// "The time step of %s s cannot be written to COMTRADE: the sample rate or the dates
// are out of range" (Russian too).
bool ExportComtrade(const RecordingData& data, size_t begin, size_t end, const std::string& base,
                    bool binary, bool overwrite, std::string* err_text,
                    const ExportControl& control = {});

// The base name of a COMTRADE record: `path` without a ".cfg" or ".dat" ending.
std::string ComtradeBase(const std::string& path);

}  // namespace korvex
