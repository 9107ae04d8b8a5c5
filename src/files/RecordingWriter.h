// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace korvex {

// Recording files (.trd): a few "#" header lines, then one data row per sample.
// Every line ends with CR LF on disk on every platform; the viewer program relies on it.

// Room per value in a live row: "%.6f" of the largest double (317 characters) and a tab.
// The buffer passed to FormatLiveRow holds n * kLiveRowBytesPerValue + 2 bytes.
constexpr size_t kLiveRowBytesPerValue = 330;

// A channel name as "#NAME=" can hold it: the names are separated by blanks and every
// line ends in CR LF, so a blank, a control character (CR, LF, tab, ...) or DEL in a name
// becomes '_'. The stream carries no checksum: one corrupt byte of a description must
// not split the header or shift the names.
std::string RecordingChannelName(const std::string& name);

// What a writer puts into a recording's header.
struct HeaderToWrite {
    bool fault = false;              // a fault recording's lines and order, else a live one's
    std::string file_value;          // "#FILE="
    std::string info_value;          // "#INFO=", fault recordings only
    std::vector<std::string> names;  // each as RecordingChannelName makes it
    double rate = 0;                 // "#F=", Hz
    double step = 0;                 // "#XX=", seconds between rows
};

// The one writer of header lines, each ending in CR LF, numbers in the C locale:
//   live:  #FILE=, #CHAN=<names "%d">, #NAME=<each name and a blank>, #XN=Time (sec),
//          #F=<rate "%lf">, #XX=0,<step "%lf">
//   fault: #FILE=, #INFO=, #NAME=<the names separated by single blanks>, #CHAN=,
//          #XN=Time (sec), #XX=0,<step>, #F=<rate>; without names (no layout for the
//          recorder's channel count) only the #FILE= and #INFO= lines.
std::string RecordingHeaderText(const HeaderToWrite& header);

// Writes a live recording's header (RecordingHeaderText): #FILE=<port>, the names, the
// rate 500 / divider and the step 1 / rate. Flushed. False on a write error.
bool WriteLiveHeader(FILE* f, const std::string& port_name, const std::vector<std::string>& names,
                     int rate_divider);

// Formats one live row: each value "%.6f" followed by a tab, then CR LF. Returns the
// length. Byte-identical to snprintf("%.6f\t") for every double.
size_t FormatLiveRow(const double* values, size_t n, char* out);

// Appends one complete row (ending in CR LF) with one write, so that a reader, or a
// crash, sees only complete rows. When the write fails part-way (a full disk), the file
// is cut back to where the row began, so that it still ends with a complete row. False
// on failure, with errno set. Whatever the stream buffered is written first.
bool AppendRow(FILE* f, const char* row, size_t len);

// Formats one live row and appends it (AppendRow). False on a write error.
bool WriteLiveRow(FILE* f, const double* values, size_t n);

// "%.6f" of v into out (room for 330 bytes); returns the length.
size_t FormatFixed6(double v, char* out);

}  // namespace korvex
