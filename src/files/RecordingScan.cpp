// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingScan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "files/FileAccess.h"

namespace korvex {

namespace {

// More channels than any regulator has; a larger "#CHAN=" is a damaged file.
constexpr int kMaxChannels = 4096;
// Below this much data a second thread costs more than it saves.
constexpr uint64_t kParallelBytes = 2 << 20;
constexpr unsigned kPiecesPerThread = 4;

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool StartsWith(const char* p, const char* e, const char* key) {
    size_t k = std::strlen(key);
    return size_t(e - p) >= k && std::memcmp(p, key, k) == 0;
}

// The value of a header line up to its first control character.
std::string HeaderText(const char* p, const char* e) {
    const char* q = p;
    while (q < e && static_cast<unsigned char>(*q) >= 0x20) ++q;
    return std::string(p, size_t(q - p));
}

// The position after the file's last line end at or after `from`, or `from` when there
// is none. Only the last LineScanner::kMaxLineBytes are searched: a longer unfinished
// line is no row anyway.
int64_t LastLineEnd(int fd, uint64_t from, uint64_t size) {
    char buf[64 << 10];
    uint64_t pos = size;
    while (pos > from && size - pos <= LineScanner::kMaxLineBytes) {
        size_t want = size_t(std::min<uint64_t>(sizeof buf, pos - from));
        if (ReadAt(fd, buf, want, pos - want) != int64_t(want)) return -1;
        for (size_t i = want; i-- > 0;)
            if (buf[i] == '\n') return int64_t(pos - want + i + 1);
        pos -= want;
    }
    return int64_t(pos > from ? size : from);
}

}  // namespace

RecordingScan::~RecordingScan() {
    CloseFile(fd_);
}

int64_t RecordingScan::FirstLineStart(uint64_t begin, uint64_t end) const {
    if (begin <= data_begin_) return int64_t(data_begin_);
    char buf[64 << 10];
    uint64_t pos = begin - 1;  // a line starts at `begin` when the byte before is '\n'
    while (pos < end) {
        size_t want = size_t(std::min<uint64_t>(sizeof buf, end - pos));
        int64_t r = ReadAt(fd_, buf, want, pos);
        if (r < 0) return -1;
        if (r == 0) break;
        if (const void* nl = std::memchr(buf, '\n', size_t(r)))
            return int64_t(pos + uint64_t(static_cast<const char*>(nl) - buf) + 1);
        pos += uint64_t(r);
    }
    return int64_t(end);
}

void RecordingScan::ResetCounts() {
    for (Piece& p : pieces_) {
        p.rows = 0;
        p.seq_errors.clear();
        p.unreadable = 0;
        p.failed = false;
        p.no_memory = false;
    }
}

bool RecordingScan::Open(const std::string& path, bool finished, unsigned threads,
                         std::string* err_text) {
    finished_ = finished;
    fd_ = OpenForReading(path);
    if (fd_ < 0 || !FileSizeAndTime(fd_, &size_, &modified_)) {
        ReportError(err_text, StrPrintf("Open File '%s' error", path.c_str()));
        return false;
    }
    const uint64_t size = size_;
    // Header: the lines beginning with "#" before the first data row.
    bool chan_seen = false, bad_count = false;
    int declared = 0;
    std::vector<std::string> names;
    double xx_step = 0;
    size_t header_seq_errors = 0;
    uint64_t data_begin = 0;
    bool data_found = false;
    LineScanner scanner(fd_);
    int64_t header_end = scanner.Scan(
        0, size, finished,
        [&](const char* p, const char* e, uint64_t off) {
            if (e > p && e[-1] == '\r') --e;
            if (off == 0 && e - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
            if (p == e || *p != '#') {
                data_begin = off;
                data_found = true;
                return false;
            }
            if (StartsWith(p, e, "#FILE=")) {
                info_.file_value = HeaderText(p + 6, e);
            } else if (StartsWith(p, e, "#INFO=")) {
                info_.info_value = HeaderText(p + 6, e);
            } else if (StartsWith(p, e, "#CHAN=")) {
                const char* q = p + 6;
                while (q < e && IsBlank(*q)) ++q;
                double v = 0;
                if (ParseDouble(q, e, &v) == q || !(v >= 1)) {  // nan too
                    bad_count = true;
                    return false;
                }
                declared = v > kMaxChannels ? kMaxChannels + 1 : int(v);
                chan_seen = true;
            } else if (StartsWith(p, e, "#NAME=")) {
                names.clear();
                for (const char* q = p + 6; q < e;) {
                    while (q < e && IsBlank(*q)) ++q;
                    const char* s = q;
                    while (q < e && !IsBlank(*q)) ++q;
                    if (q > s) names.emplace_back(s, size_t(q - s));
                }
            } else if (StartsWith(p, e, "#F=")) {
                const char* q = p + 3;
                while (q < e && IsBlank(*q)) ++q;
                double rate = 0;
                if (ParseDouble(q, e, &rate) != q) info_.rate = rate == 0.0 ? 1.0 : rate;
            } else if (StartsWith(p, e, "#XX=")) {
                const char* comma = static_cast<const char*>(std::memchr(p, ',', size_t(e - p)));
                double s = 0;
                if (comma && ParseDouble(comma + 1, e, &s) != comma + 1) xx_step = s;
            } else if (StartsWith(p, e, "#ERRSEQ")) {
                ++header_seq_errors;
            }
            return true;
        },
        [](uint64_t) {});
    if (header_end < 0) {
        ReportError(err_text, StrPrintf("Read error in '%s'", path.c_str()));
        return false;
    }
    if (bad_count) {
        ReportError(err_text, "NumChan<=0");
        return false;
    }
    if (!chan_seen && names.empty()) {
        ReportError(err_text, "Undefined NumChan & Name[]");
        return false;
    }
    info_.channels = chan_seen ? declared : int(names.size());
    if (info_.channels > kMaxChannels) {
        ReportError(err_text, StrPrintf("Too many channels (%d)", info_.channels));
        return false;
    }
    names.resize(size_t(info_.channels));
    for (size_t c = 0; c < names.size(); ++c)
        if (names[c].empty()) names[c] = StrPrintf("Channel %zu", c + 1);
    info_.names = std::move(names);
    if (std::isfinite(xx_step) && xx_step > 0)
        info_.step = xx_step;
    else if (std::isfinite(info_.rate) && info_.rate > 0)
        info_.step = 1.0 / info_.rate;
    info_.has_start = ParseRecordingStart(info_.info_value, &info_.start);
    header_seq_errors_ = header_seq_errors;

    // Data: complete lines only, unless the file is known to be finished.
    data_begin_ = data_begin;
    data_end_ = size;
    if (!data_found) {
        pending_ = size - uint64_t(header_end);
        data_begin_ = data_end_ = size;
        return true;
    }
    if (!finished) {
        int64_t last = LastLineEnd(fd_, data_begin, size);
        if (last < 0) {
            ReportError(err_text, StrPrintf("Read error in '%s'", path.c_str()));
            return false;
        }
        data_end_ = uint64_t(last);
    }
    pending_ = size - data_end_;
    threads_ = threads ? threads : std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    uint64_t span = data_end_ - data_begin_;
    if (!threads && span < kParallelBytes) threads_ = 1;
    size_t count = threads_ == 1 ? 1 : size_t(threads_) * kPiecesPerThread;
    pieces_.assign(count, Piece());
    for (size_t i = 0; i < count; ++i) {
        pieces_[i].begin = data_begin_ + span * i / count;
        pieces_[i].end = data_begin_ + span * (i + 1) / count;
    }
    return true;
}

}  // namespace korvex
