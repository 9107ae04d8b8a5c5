// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "app/StopToken.h"

namespace korvex {

class RecordingData;

struct ComtradeOptions {
    // Which side of the instrument transformers the analog values are given on. Primary
    // and Secondary convert the channels whose PS flag says the other side, by
    // primary / secondary or secondary / primary; a channel without both factors, or
    // whose ratio is 0 or not finite, stays as recorded.
    enum class Side { AsRecorded, Primary, Secondary } side = Side::AsRecorded;
    // Checked between blocks of the .dat; a stop requested ends the read with "Cancelled".
    const StopToken* cancel = nullptr;
};

// Reads a COMTRADE record (IEEE C37.111 of 1991, 1999 or 2013; the .cfg and .dat pair,
// not the single .cff) into `out`, replacing what it held; on failure `out` is left as it
// was. `path` names the .cfg or the .dat, either ending in any case; the other file is
// the one beside it of the same base name, its ending tried in the case of the given one
// first, then in lower and in upper case. A path with neither ending is the base name.
//
// Channels: the analog channels, then the status channels (info.status_from is the
// first of those, -1 without any). A channel's name is its ch_id; an empty ch_id gives
// "A<n>" or "D<n>" with the phase appended ("A3B"). Analog values are a × sample + b, in
// the unit uu (info.units; "" for status channels), converted to the side asked; status
// values are 0 or 1. A sample the file marks missing (an empty ASCII field, 99999 in a
// 1991 ASCII file, -32768 in BINARY, 0x80000000 in BINARY32, a NaN in FLOAT32) takes the
// channel's previous value, 0 before the first.
//
// Time: the rows are one uniform step apart. With sample rates, segment k holds the
// samples up to its endsamp at its rate, the first sample at 0 s; when every segment has
// the same rate the rows are the samples and the step 1 / rate. Otherwise (several rates,
// or nrates 0 or a rate of 0: the time stamps × timemult µs, relative to the first
// sample's, never going back) the samples are laid on a grid whose step is the finest
// interval: 1 / the highest rate, or the median of the positive differences of the
// time stamps (a record with none has its samples as rows, 1 s apart). Each grid row
// holds the latest sample at or before its time, the last row the last sample. A grid of
// more than 16 rows per sample is refused, as are columns (rows × channels × 8 bytes)
// above half the machine's memory (2 GB when that is unknown).
//
// Clock: info.start_seconds is the start date and time (ClockSeconds scale, with its
// microseconds), info.start the same to the millisecond (has_start), trigger_seconds the
// trigger's time after it. They are the record's local times as written; a 2013 record's
// time_code and local_code are kept as written. A date of zeros (or none) is unknown.
// Dates are dd/mm/yyyy, or mm/dd/yy in a 1991 record and wherever the year has two
// digits (yy from 70 on is 19yy, else 20yy); a date that only reads the other way round
// is taken so.
//
// Memory: the columns and a buffer of about a megabyte; the record's time stamps (8
// bytes a sample) are held before the columns are made, only when they set the grid.
// The .dat's size is checked against the samples announced before anything is made.
//
// False with a message by the buffer rule (Russian or English): "Open File '%s' error"
// for the .cfg or the .dat; "'%s' is not a COMTRADE configuration: %llu bytes" above
// 4 MB; "'%s' line %d: ..." for any line of the .cfg that cannot be read, naming the
// field ("'r.cfg' line 2: the number of analog channels 'x' is not a number"); "Too many
// channels (%d)" above 4096; "'%s' holds %zu samples, the configuration announces %zu"
// for a .dat too short (samples beyond those announced are ignored); "'%s': sample %zu
// is cut short: %zu of its %zu bytes" for a binary .dat ending inside a sample; "'%s'
// line %zu: ..." for an ASCII row with too few fields, a value or time stamp that is not
// a number, or a line over a megabyte; the grid's refusals (a step out of range, more than
// 16 rows per sample); "Not enough memory for %zu rows of %d channels"; "Not enough
// memory to read '%s'"; "Read error in '%s'"; "Cancelled". Never throws. Runs on the
// calling thread.
bool ReadComtrade(const std::string& path, RecordingData* out, std::string* err_text,
                  const ComtradeOptions& options = {});

// Whether a path names a COMTRADE record to read with ReadComtrade: it ends in ".cfg", in
// any case. (A ".dat" is left to the recording reader: it could be either.)
bool IsComtradePath(const std::string& path);

}  // namespace korvex
