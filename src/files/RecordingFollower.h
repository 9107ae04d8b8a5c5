// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/LineScanner.h"
#include "files/RecordingHeader.h"

namespace korvex {

// What the data phase finds, line by line.
class RowSink {
public:
    virtual ~RowSink() = default;
    // A data row; `values` holds the latest value of each shown channel (a channel the
    // row does not carry keeps its previous value).
    virtual void OnRow(const double* values, int shown) = 0;
    // "#F=": the declared sample rate (0 already replaced by 1.0).
    virtual void OnSampleRate(double /*rate*/) {}
    // "#ERRSEQ": one sequence error at this place.
    virtual void OnSeqError() {}
    // How many of the newest rows the sink needs with their values; the rows before
    // them may then be reported as a count only (OnRowsSkipped). All by default.
    virtual size_t TailRowsNeeded() const { return SIZE_MAX; }
    // `count` data rows passed whose values the sink said it does not need.
    virtual void OnRowsSkipped(long /*count*/) {}
    // A line too long to be a recording line (LineScanner::kMaxLineBytes) was skipped.
    virtual void OnUnreadableLine() {}
};

// Data phase of the reader over a file that may still be growing. Each Poll consumes
// the complete lines added since the last one; a line still being written stays
// unread until its line end arrives (unless the file is finished, see set_finished).
// The byte position is exact whatever the line ends (CR LF or bare LF). Values may be
// separated by a tab or a space; at most 15 values are stored per row. A line longer
// than LineScanner::kMaxLineBytes is skipped without being stored. Memory stays bounded
// and time linear in the file's size. The same loop serves a large finished file in
// one call, reading it in big blocks. Lines beginning with "#" are read by the header's
// rules (HeaderLineKey): "#F=" and "#ERRSEQ" are reported, the others passed over.
// Used by one thread.
class RecordingFollower {
public:
    RecordingFollower();
    ~RecordingFollower();
    RecordingFollower(const RecordingFollower&) = delete;
    RecordingFollower& operator=(const RecordingFollower&) = delete;

    // Opens `path` for reading from byte `offset` (ReadRecordingHeader's `consumed`). False with
    // "Open File '%s' error" by the buffer rule.
    bool Open(const std::string& path, uint64_t offset, int shown, std::string* err_text = nullptr);
    void Close();
    bool is_open() const { return fd_ >= 0; }
    // A finished recording (viewing, not live): a last line without its line end is read
    // as a line too. A live recording's last line waits for its line end.
    void set_finished(bool finished) { finished_ = finished; }

    // Reads what was added; returns the number of complete lines consumed. A read error
    // returns -1 and leaves the position where it was, so the next Poll tries again.
    // A large backlog (opening a long recording) for a sink that needs only its newest
    // rows is read in two passes: lines are counted, then only the tail is parsed.
    long Poll(RowSink& sink);

    uint64_t consumed() const { return consumed_; }        // bytes of complete lines read
    uint64_t file_length() const { return file_length_; }  // length seen by the last Poll
    const double* values() const { return values_; }

private:
    void ParseLine(const char* p, const char* end, RowSink& sink);
    // Reads a data row into values_; false when it has fewer fields than shown.
    bool ParseRow(const char* p, const char* end);
    long PollTail(RowSink& sink, size_t tail);
    int fd_ = -1;
    int shown_ = 0;
    uint64_t consumed_ = 0;
    uint64_t file_length_ = 0;
    uint64_t unterminated_ = 0;  // bytes after consumed_ known to hold no line end
    bool finished_ = false;
    LineScanner scanner_;
    double values_[kMaxShownChannels] = {};
};

}  // namespace korvex
