// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "app/StopToken.h"
#include "files/LineScanner.h"
#include "files/NumberParse.h"
#include "files/RecordingHeader.h"
#include "files/RecordingInfo.h"

namespace korvex {

// A recording file opened for reading whole on several threads: its header read
// (ReadHeader, HeaderEnd::kFirstRow), and its data lines split into pieces at line starts,
// so that each thread reads and parses pieces of its own with positional reads and bounded
// buffers, never the whole file at once.
//
// The data rows are those of the reader: every line after the header that does not begin
// with "#". Only complete lines count: a last line without its line end is still being
// written (unless the file is `finished`) and is left out, its bytes in pending_bytes().
// Lines too long to be rows (LineScanner::kMaxLineBytes) are skipped.
class RecordingScan {
public:
    // What one piece holds. Row indices are local to the piece.
    struct Piece {
        uint64_t begin = 0, end = 0;  // lines starting in [begin, end) belong to the piece
        size_t rows = 0;
        std::vector<size_t> seq_errors;  // local row index before each "#ERRSEQ"
        bool failed = false;             // a read error, or an allocation that failed
        bool no_memory = false;          // failed because memory ran out
    };

    RecordingScan() = default;
    ~RecordingScan();
    RecordingScan(const RecordingScan&) = delete;
    RecordingScan& operator=(const RecordingScan&) = delete;

    // Opens the file and reads its header; false with a message by the buffer rule:
    // "Open File '%s' error", ReadHeader's, "Too many channels (%d)" (more than 4096,
    // 4097 for any larger "#CHAN="), "Read error in '%s'". A channel without a name is
    // "Channel N". `threads` 0: one per processor, one
    // for less than 2 MB of data; a given number splits the data whatever its size.
    bool Open(const std::string& path, bool finished, unsigned threads, std::string* err_text);

    const RecordingInfo& info() const { return info_; }
    uint64_t file_size() const { return size_; }
    int64_t modified() const { return modified_; }
    uint64_t pending_bytes() const { return pending_; }
    size_t header_seq_errors() const { return header_seq_errors_; }
    std::vector<Piece>& pieces() { return pieces_; }
    // The threads that ForEachPiece uses at most, each with a LineScanner's buffer.
    unsigned threads() const { return threads_; }

    // Calls on_row(begin, end) for each data row of the piece (end before the line end,
    // a CR taken off) and notes its "#ERRSEQ" lines; rows counted in piece.rows. False
    // on a read error.
    template <typename OnRow>
    bool ScanPiece(Piece& piece, LineScanner& scanner, OnRow&& on_row);

    // Runs fn(piece, scanner) for every piece on the scan's threads, pieces handed out in
    // order; a stop requested of `cancel` stops handing them out. An exception from fn
    // (memory running out) marks its piece failed and no_memory and goes no further;
    // threads that cannot be started leave their pieces to the others. Never throws.
    template <typename Fn>
    void ForEachPiece(const StopToken* cancel, Fn&& fn);

private:
    template <typename OnLine, typename OnOverlong>
    bool Lines(const Piece& piece, LineScanner& scanner, OnLine&& on_line,
               OnOverlong&& on_overlong);
    int64_t FirstLineStart(uint64_t begin, uint64_t end) const;

    int fd_ = -1;
    RecordingInfo info_;
    uint64_t size_ = 0;
    int64_t modified_ = 0;
    uint64_t data_begin_ = 0, data_end_ = 0, pending_ = 0;
    size_t header_seq_errors_ = 0;
    bool finished_ = false;
    unsigned threads_ = 1;
    std::vector<Piece> pieces_;
};

// "Not enough memory for %zu rows of %d channels": a load or a statistic that the memory
// cannot hold.
std::string NoMemoryText(size_t rows, int channels);

// Parses the values of a data row: value i into out[i * stride] for i < channels. Values
// are separated by tabs or spaces; whatever follows a number up to the next separator
// belongs to it. For each value the row lacks or that is no number, calls missing(i) and
// leaves its place as it was.
template <typename Missing>
inline void ParseRowValues(const char* p, const char* e, int channels, double* out, size_t stride,
                           Missing&& missing) {
    for (int c = 0; c < channels; ++c, out += stride) {
        while (p < e && (*p == ' ' || *p == '\t')) ++p;
        const char* q = p < e ? ParseDouble(p, e, out) : p;
        if (q == p) missing(c);
        while (q < e && *q != ' ' && *q != '\t') ++q;
        p = q;
    }
}

template <typename OnLine, typename OnOverlong>
bool RecordingScan::Lines(const Piece& piece, LineScanner& scanner, OnLine&& on_line,
                          OnOverlong&& on_overlong) {
    int64_t first = FirstLineStart(piece.begin, piece.end);
    if (first < 0) return false;
    if (uint64_t(first) >= piece.end) return true;
    scanner.Reset(fd_);
    auto line = [&](const char* p, const char* e, uint64_t off) {
        if (off >= piece.end) return false;
        if (e > p && e[-1] == '\r') --e;
        on_line(p, e);
        return true;
    };
    auto overlong = [&](uint64_t) { on_overlong(); };
    const bool last = piece.end >= data_end_;
    int64_t pos = scanner.Scan(uint64_t(first), piece.end, finished_ && last, line, overlong);
    if (pos < 0) return false;
    if (last || (uint64_t(pos) >= piece.end && !scanner.skipping())) return true;
    // The piece's last line runs on into the next piece: read on to its end only.
    constexpr uint64_t kNear = 64 << 10;
    if (!scanner.skipping() && data_end_ - uint64_t(pos) > kNear) {
        int64_t p2 = scanner.Scan(uint64_t(pos), uint64_t(pos) + kNear, false, line, overlong);
        if (p2 < 0) return false;
        if (p2 > pos) return true;
    }
    return scanner.Scan(uint64_t(pos), data_end_, finished_, line, overlong) >= 0;
}

template <typename OnRow>
bool RecordingScan::ScanPiece(Piece& piece, LineScanner& scanner, OnRow&& on_row) {
    piece.rows = 0;
    piece.seq_errors.clear();
    bool ok = Lines(
        piece, scanner,
        [&](const char* p, const char* e) {
            if (p < e && *p == '#') {
                if (HeaderLineKey(p, e) == HeaderKey::kSeqError)
                    piece.seq_errors.push_back(piece.rows);
                return;
            }
            on_row(p, e);
            ++piece.rows;
        },
        [] {});
    piece.failed = !ok;
    return ok;
}

template <typename Fn>
void RecordingScan::ForEachPiece(const StopToken* cancel, Fn&& fn) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        LineScanner scanner;
        for (size_t i; (i = next.fetch_add(1)) < pieces_.size();) {
            if (StopRequested(cancel)) return;
            Piece& piece = pieces_[i];
            // Nothing may leave a thread's function: only allocations throw here.
            try {
                fn(piece, scanner);
            } catch (const std::exception&) {
                piece.failed = piece.no_memory = true;
            }
        }
    };
    std::vector<std::thread> pool;
    try {
        pool.reserve(threads_);
        for (unsigned t = 1; t < threads_; ++t) pool.emplace_back(work);
    } catch (const std::exception&) {
        // No room for another thread's stack: the threads running share out the rest.
    }
    work();
    for (auto& t : pool) t.join();
}

}  // namespace korvex
