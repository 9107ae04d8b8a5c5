// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingScan.h"

#include <algorithm>
#include <cstring>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "files/FileAccess.h"

namespace korvex {

namespace {

// More channels than any regulator has; a larger "#CHAN=" is a damaged file.
constexpr int kMaxChannels = 4096;
// Below this much data a second thread costs more than it saves.
constexpr uint64_t kParallelBytes = 2 << 20;
constexpr unsigned kPiecesPerThread = 4;

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

bool RecordingScan::Open(const std::string& path, bool finished, unsigned threads,
                         std::string* err_text) {
    finished_ = finished;
    fd_ = OpenForReading(path);
    if (fd_ < 0 || !FileSizeAndTime(fd_, &size_, &modified_)) {
        ReportError(err_text, StrPrintf("Open File '%s' error", path.c_str()));
        return false;
    }
    const uint64_t size = size_;
    HeaderRead header;
    if (!ReadHeader(fd_, size, finished, HeaderEnd::kFirstRow, path, &header, err_text))
        return false;
    info_ = std::move(header.info);
    if (info_.channels > kMaxChannels) {
        // A "#CHAN=" beyond the limit is told as the first count refused.
        ReportError(err_text, StrPrintf("Too many channels (%d)",
                                        header.chan_seen ? kMaxChannels + 1 : info_.channels));
        return false;
    }
    info_.names.resize(size_t(info_.channels));
    for (size_t c = 0; c < info_.names.size(); ++c)
        if (info_.names[c].empty()) info_.names[c] = StrPrintf("Channel %zu", c + 1);
    header_seq_errors_ = header.seq_errors;

    // Data: complete lines only, unless the file is known to be finished.
    data_begin_ = header.end;
    data_end_ = size;
    if (!header.row_found) {
        pending_ = size - header.end;
        data_begin_ = data_end_ = size;
        return true;
    }
    if (!finished) {
        int64_t last = LastLineEnd(fd_, data_begin_, size);
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

std::string NoMemoryText(size_t rows, int channels) {
    return StrPrintf(Tr("Не хватает памяти для %zu строк по %d каналов",
                        "Not enough memory for %zu rows of %d channels"),
                     rows, channels);
}

}  // namespace korvex
