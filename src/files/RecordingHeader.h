// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// The screen holds at most this many channels; files may declare more.
constexpr int kMaxShownChannels = 15;

struct RecordingHeader {
    int num_chan = 0;                // "#CHAN=" as declared
    int shown = 0;                   // min(num_chan, 15)
    std::vector<std::string> names;  // one per shown channel; empty when "#NAME=" came first
    std::string file_value;          // "#FILE=" up to its first control character, <= 100 chars
};

// Header phase of the reader: reads lines until both "#CHAN=" and "#NAME=" have been
// seen and returns 0 with `consumed` set to the byte position after that line (exact
// for CR LF and bare LF); a UTF-8 byte-order mark before the first line is passed over.
// Lines too long to be header lines are skipped, with memory and time bounded
// (LineScanner). A last line without its line end is still being written and is not
// read, unless the file is `finished`. Returns 1 with a message by the buffer rule:
// "Open File '%s' error", "Undefined NumChan & Name[]" (end of file first), "NumChan<=0".
int ReadRecordingHeader(const std::string& path, RecordingHeader* header, uint64_t* consumed,
                        std::string* err_text = nullptr, bool finished = false);

}  // namespace korvex
