// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingFollower.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "files/FileAccess.h"
#include "files/NumberParse.h"

namespace korvex {

namespace {

// More new bytes than this is a recording being opened, not a tick's worth of rows.
constexpr uint64_t kBulkBacklog = 4 << 20;
// A sink that wants more of the newest rows than this is read the ordinary way.
constexpr size_t kMaxTailRows = 1 << 20;
// PollTail's answer when the tail holds a short row, which takes values from rows
// before the tail: the backlog is then read the ordinary way.
constexpr long kTailNeedsFullRead = -2;

}  // namespace

RecordingFollower::RecordingFollower() = default;
RecordingFollower::~RecordingFollower() {
    Close();
}

bool RecordingFollower::Open(const std::string& path, uint64_t offset, int shown,
                             std::string* err_text) {
    Close();
    fd_ = OpenForReading(path);
    if (fd_ < 0) {
        ReportError(err_text, StrPrintf("Open File '%s' error", path.c_str()));
        return false;
    }
    scanner_.Reset(fd_);
    shown_ = shown < 0 ? 0 : (shown > kMaxShownChannels ? kMaxShownChannels : shown);
    consumed_ = offset;
    file_length_ = 0;
    unterminated_ = 0;
    std::memset(values_, 0, sizeof values_);
    return true;
}

void RecordingFollower::Close() {
    CloseFile(fd_);
    fd_ = -1;
}

// Pass 1 counts the data rows and remembers where the newest `tail` of them and every
// marker line start; pass 2 parses only those lines. A short row among the tail takes
// values from rows before it, which pass 2 cannot see: such a backlog is read again
// the ordinary way. Nothing reaches the sink until both passes have succeeded.
long RecordingFollower::PollTail(RowSink& sink, size_t tail) {
    std::vector<uint64_t> ring(tail ? tail : 1);
    std::vector<uint64_t> markers;  // marker lines, and overlong lines with the top bit set
    constexpr uint64_t kOverlong = uint64_t(1) << 63;
    long data_rows = 0, lines = 0;
    LineScanner scan(fd_);
    int64_t end = scan.Scan(
        consumed_, file_length_, finished_,
        [&](const char* p, const char* e, uint64_t off) {
            ++lines;
            if (p < e && *p == '#')
                markers.push_back(off);
            else if (tail)
                ring[size_t(data_rows++) % ring.size()] = off;
            else
                ++data_rows;
            return true;
        },
        [&](uint64_t off) {
            ++lines;
            markers.push_back(off | kOverlong);
        });
    if (end < 0) return -1;
    long kept = data_rows < long(tail) ? data_rows : long(tail);
    long skipped = data_rows - kept;
    uint64_t tail_start = kept ? ring[size_t(skipped) % ring.size()] : uint64_t(end);

    // Parse the tail into a table first: it must be complete before anything is reported.
    // Lines in the tail are short: everything overlong was left out in pass 1.
    std::vector<double> table;
    table.reserve(size_t(kept) * size_t(shown_));
    bool complete = true;
    std::memset(values_, 0, sizeof values_);
    auto row_lines = [&](auto&& fn) {
        LineScanner again(fd_);
        return again.Scan(
            tail_start, uint64_t(end), finished_,
            [&](const char* p, const char* e, uint64_t off) {
                fn(p, e, off);
                return true;
            },
            [](uint64_t) {});
    };
    if (row_lines([&](const char* p, const char* e, uint64_t) {
            if (e > p && e[-1] == '\r') --e;
            if (p < e && *p == '#') return;
            complete = ParseRow(p, e) && complete;
            table.insert(table.end(), values_, values_ + shown_);
        }) < 0)
        return -1;
    if (!complete) return kTailNeedsFullRead;

    // Report in file order: markers before the tail, the skipped count, then the tail.
    auto marker = [&](uint64_t off) {
        if (off & kOverlong) {
            sink.OnUnreadableLine();
            return;
        }
        char line[512];
        int64_t n = ReadAt(fd_, line, sizeof line, off);
        if (n <= 0) return;
        const char* nl = static_cast<const char*>(std::memchr(line, '\n', size_t(n)));
        ParseLine(line, nl ? nl : line + n, sink);
    };
    size_t m = 0;
    while (m < markers.size() && (markers[m] & ~kOverlong) < tail_start) marker(markers[m++]);
    if (skipped) sink.OnRowsSkipped(skipped);
    size_t row = 0;
    row_lines([&](const char* p, const char* e, uint64_t off) {
        while (m < markers.size() && (markers[m] & ~kOverlong) < off) marker(markers[m++]);
        if (p < e && *p == '#') {
            ++m;
            ParseLine(p, e, sink);
            return;
        }
        std::memcpy(values_, &table[row * size_t(shown_)], sizeof(double) * size_t(shown_));
        ++row;
        sink.OnRow(values_, shown_);
    });
    while (m < markers.size()) marker(markers[m++]);
    consumed_ = uint64_t(end);
    scanner_ = std::move(scan);
    unterminated_ = file_length_ > consumed_ ? file_length_ - consumed_ : 0;
    return lines;
}

long RecordingFollower::Poll(RowSink& sink) {
    if (fd_ < 0) return 0;
    if (!FileSizeAndTime(fd_, &file_length_, nullptr)) return -1;
    if (file_length_ < consumed_) return 0;  // cut back behind us: nothing new to read
    size_t tail = sink.TailRowsNeeded();
    if (tail <= kMaxTailRows && file_length_ - consumed_ > kBulkBacklog && !scanner_.skipping()) {
        std::vector<double> saved(values_, values_ + kMaxShownChannels);
        long n = PollTail(sink, tail);
        if (n != kTailNeedsFullRead) return n;
        std::copy(saved.begin(), saved.end(), values_);
    }
    // Bytes of an unfinished line are read again once more arrive rather than kept, so the
    // position is always that of a line start (or inside a line being skipped) and nothing
    // is carried between polls; a line is at most LineScanner::kMaxLineBytes.
    if (file_length_ == consumed_ + unterminated_) return 0;
    long lines = 0;
    int64_t end = scanner_.Scan(
        consumed_, file_length_, finished_,
        [&](const char* p, const char* e, uint64_t) {
            ParseLine(p, e, sink);
            ++lines;
            return true;
        },
        [&](uint64_t) {
            sink.OnUnreadableLine();
            ++lines;
        });
    if (end < 0) return -1;
    consumed_ = uint64_t(end);
    unterminated_ = file_length_ > consumed_ ? file_length_ - consumed_ : 0;
    return lines;
}

void RecordingFollower::ParseLine(const char* p, const char* end, RowSink& sink) {
    if (end > p && end[-1] == '\r') --end;
    if (p < end && *p == '#') {
        // Header lines among the rows, read by the header's own rules.
        const char* v = end;
        double rate = 0.0;
        switch (HeaderLineKey(p, end, &v)) {
            case HeaderKey::kRate:
                if (ParseRateValue(v, end, &rate)) sink.OnSampleRate(rate);
                break;
            case HeaderKey::kSeqError: sink.OnSeqError(); break;
            default: break;
        }
        return;
    }
    ParseRow(p, end);
    sink.OnRow(values_, shown_);
}

bool RecordingFollower::ParseRow(const char* p, const char* end) {
    bool complete = true;
    int c = 0;
    for (; c < shown_ && p < end; ++c) {
        while (p < end && IsBlank(*p)) ++p;
        if (p == end) break;
        double v = 0.0;
        const char* q = ParseDouble(p, end, &v);
        if (q != p)
            values_[c] = v;
        else
            complete = false;
        // Whatever follows the number up to the next separator belongs to it.
        while (q < end && !IsBlank(*q)) ++q;
        p = q;
    }
    return complete && c == shown_;
}

}  // namespace korvex
