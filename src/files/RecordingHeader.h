// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/RecordingInfo.h"

namespace korvex {

// The reader of a recording's header lines, the one rule of every reader: the live window
// and korvex-cli (ReadRecordingHeader), the viewer's scan (RecordingScan), and, for the
// "#" lines among the rows, the follower and the scan's pieces (HeaderLineKey).
//
// Lines end in LF with or without a CR before it; a UTF-8 byte-order mark before the
// first line is passed over. A header line begins with "#"; its key is compared on its
// own length, so "#ERRSEQ2" is an "#ERRSEQ" too. The values:
//   "#FILE=", "#INFO=": up to the first control character.
//   "#CHAN=": blanks, then a number as strtod reads it, taken without its fraction (at
//             most INT_MAX); no number, or one below 1 (nan too), is "NumChan<=0".
//   "#NAME=": names separated by blanks, tabs or CRs; the last "#NAME=" line counts.
//   "#F=":    blanks, then a number; 0 reads as 1.0; no number leaves the rate alone.
//   "#XX=":   the number after the first comma is the step between rows.
//   "#ERRSEQ" one sequence error.
// Rows (lines not beginning with "#") before the first "#CHAN=" or "#NAME=" line belong
// to no recording and are passed over, and so are lines too long to be recording lines
// (LineScanner::kMaxLineBytes), without being stored.

// The screen holds at most this many channels; files may declare more.
constexpr int kMaxShownChannels = 15;

enum class HeaderKey { kOther, kFile, kInfo, kChan, kName, kRate, kStep, kSeqError };

// The key of a line beginning with "#" (CR taken off), and in *value where its value
// begins; kOther for any other line.
HeaderKey HeaderLineKey(const char* p, const char* e, const char** value = nullptr);

// The value of "#F=": false when it holds no number.
bool ParseRateValue(const char* v, const char* e, double* rate);

// Where the header reader stops.
enum class HeaderEnd {
    // At the first row after "#CHAN=" or "#NAME=" (the viewer): the header is every line
    // before it, and needs one of the two.
    kFirstRow,
    // After the line at which both "#CHAN=" and "#NAME=" have been seen (the live
    // window), so that its follower reads the "#F=" lines after them; needs both.
    kChannelsAndNames,
};

struct HeaderRead {
    // channels: "#CHAN=", else the number of names; names as the last "#NAME=" line
    // gives them (as many as it holds); file_value and info_value whole.
    RecordingInfo info;
    bool chan_seen = false;
    bool names_before_chan = false;  // the "#NAME=" line counted stands before any "#CHAN="
    size_t seq_errors = 0;           // "#ERRSEQ" lines read
    // Where the reader stopped: a row's start, after the line that completed the header,
    // or after the last complete line.
    uint64_t end = 0;
    bool row_found = false;  // kFirstRow: a row begins at `end`
};

// Reads the header of an open file of `size` bytes from its start. A last line without
// its line end is still being written and is not read, unless the file is `finished`.
// False with a message by the buffer rule: "Read error in '%s'" (`path`), "NumChan<=0",
// "Undefined NumChan & Name[]" (what `stop` needs is missing).
bool ReadHeader(int fd, uint64_t size, bool finished, HeaderEnd stop, const std::string& path,
                HeaderRead* out, std::string* err_text);

// The header as the live window shows it.
struct RecordingHeader {
    int num_chan = 0;                // "#CHAN=" as declared
    int shown = 0;                   // min(num_chan, 15)
    std::vector<std::string> names;  // one per shown channel; all empty when "#NAME=" came
                                     // before "#CHAN=", "" for a name the line lacks
    std::string file_value;          // "#FILE=", at most 100 characters
};

// Opens `path` and reads its header (HeaderEnd::kChannelsAndNames); returns 0 with
// `consumed` set to the byte position after the line that completed it, where the
// follower starts. Returns 1 with a message by the buffer rule: "Open File '%s' error",
// then ReadHeader's.
int ReadRecordingHeader(const std::string& path, RecordingHeader* header, uint64_t* consumed,
                        std::string* err_text = nullptr, bool finished = false);

}  // namespace korvex
