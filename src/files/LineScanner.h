// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "files/FileAccess.h"

namespace korvex {

// Reads the lines of a file between two byte positions in large blocks, by absolute
// position (pread), so that the byte position is exact whatever the line ends. A line
// is the bytes up to its '\n' (a CR before it is left to the caller).
//
// Memory and time stay bounded whatever the file holds: no recording line is longer
// than a few kilobytes, so a line longer than kMaxLineBytes (a file of zeros, a sparse
// hole, binary junk) is skipped without being stored, and reported once when its line
// end arrives. Every byte is searched for a line end once per scan.
// Used by one thread.
class LineScanner {
public:
    static constexpr size_t kMaxLineBytes = 1 << 20;
    static constexpr size_t kBlock = 256 << 10;

    explicit LineScanner(int fd = -1) : fd_(fd) {}
    void Reset(int fd) {
        fd_ = fd;
        skipping_ = false;
    }
    // true while the scan is inside an overlong line whose end has not come yet.
    bool skipping() const { return skipping_; }

    // Scans [from, to). Calls on_line(begin, end, offset) for each complete line (end is
    // its '\n') and on_overlong(offset) for each overlong line once its end is seen; a
    // false from on_line stops the scan after that line. With `final`, bytes after the
    // last line end up to `to` form a last line (a finished file whose last line has no
    // line end). Returns the position after the last line consumed, or after the skipped
    // bytes of an overlong line still running; -1 on a read error before any line.
    template <typename OnLine, typename OnOverlong>
    int64_t Scan(uint64_t from, uint64_t to, bool final, OnLine&& on_line,
                 OnOverlong&& on_overlong) {
        uint64_t pos = from;  // file position of buf_[0]
        size_t carry = 0;     // bytes of an unfinished line at buf_[0], searched already
        while (pos + carry < to) {
            uint64_t left = to - pos - carry;
            size_t want = left < kBlock ? size_t(left) : kBlock;
            if (buf_.size() < carry + want) buf_.resize(carry + want);
            int64_t r = ReadAt(fd_, buf_.data() + carry, want, pos + carry);
            // Lines already handed out stay consumed; the error shows again next time.
            if (r < 0) return pos == from ? -1 : int64_t(pos);
            if (r == 0) break;
            const char* base = buf_.data();
            const char* p = base;
            const char* end = base + carry + size_t(r);
            const char* search = base + carry;
            if (skipping_) {
                const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
                if (!nl) {
                    pos += uint64_t(end - base);
                    carry = 0;
                    continue;
                }
                skipping_ = false;
                on_overlong(overlong_at_);
                p = search = nl + 1;
            }
            bool stop = false;
            while (!stop && search < end) {
                const char* nl =
                    static_cast<const char*>(std::memchr(search, '\n', size_t(end - search)));
                if (!nl) break;
                stop = !on_line(p, nl, pos + uint64_t(p - base));
                p = search = nl + 1;
            }
            size_t used = size_t(p - base);
            pos += used;
            carry = size_t(end - p);
            if (stop) return int64_t(pos);
            if (carry > kMaxLineBytes) {
                // Too long to be a recording line: skip it without keeping it.
                overlong_at_ = pos;
                skipping_ = true;
                pos += carry;
                carry = 0;
            } else if (carry && used) {
                std::memmove(buf_.data(), buf_.data() + used, carry);
            }
        }
        if (final && pos < to) {
            if (skipping_) {
                skipping_ = false;
                on_overlong(overlong_at_);
                return int64_t(to);
            }
            if (carry) {
                on_line(buf_.data(), buf_.data() + carry, pos);
                return int64_t(pos + carry);
            }
        }
        return int64_t(pos);
    }

private:
    int fd_;
    bool skipping_ = false;
    uint64_t overlong_at_ = 0;  // where the line being skipped began
    std::vector<char> buf_;
};

}  // namespace korvex
