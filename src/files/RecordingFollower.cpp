#include "files/RecordingFollower.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "files/NumberParse.h"

namespace korvex {

namespace {

// Reads of a large file go in blocks of this size; a live tick reads only what is new.
constexpr size_t kBlock = 4 << 20;
// More new bytes than this is a recording being opened, not a tick's worth of rows.
constexpr uint64_t kBulkBacklog = 4 << 20;
// A sink that wants more of the newest rows than this is read the ordinary way.
constexpr size_t kMaxTailRows = 1 << 20;

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

RecordingFollower::RecordingFollower() = default;
RecordingFollower::~RecordingFollower() {
    Close();
}

bool RecordingFollower::Open(const std::string& path, uint64_t offset, int shown,
                             std::string* err_text) {
    Close();
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        ReportError(err_text, StrPrintf("Open File '%s' error", path.c_str()));
        return false;
    }
    shown_ = shown < 0 ? 0 : (shown > kMaxShownChannels ? kMaxShownChannels : shown);
    consumed_ = offset;
    file_length_ = 0;
    unterminated_ = 0;
    std::memset(values_, 0, sizeof values_);
    return true;
}

void RecordingFollower::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

template <typename Fn>
int64_t RecordingFollower::ForEachLine(uint64_t from, uint64_t to, Fn&& fn) {
    uint64_t pos = from;
    size_t carry = 0;
    while (pos + carry < to) {
        uint64_t left = to - pos - carry;
        size_t want = left < kBlock ? size_t(left) : kBlock;
        if (buf_.size() < carry + want) buf_.resize(carry + want);
        ssize_t r = pread(fd_, buf_.data() + carry, want, off_t(pos + carry));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        size_t have = carry + size_t(r);
        const char* base = buf_.data();
        const char* p = base;
        const char* end = base + have;
        while (p < end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            if (!nl) break;
            fn(p, nl, pos + uint64_t(p - base));
            p = nl + 1;
        }
        size_t used = size_t(p - base);
        pos += used;
        carry = have - used;
        if (carry && used) std::memmove(buf_.data(), buf_.data() + used, carry);
    }
    return int64_t(pos);
}

// Pass 1 counts the data rows and remembers where the newest `tail` of them and every
// marker line start; pass 2 parses only those lines. A short row among the tail takes
// values from rows before it, which pass 2 cannot see: such a backlog is read again
// the ordinary way. Nothing reaches the sink until both passes have succeeded.
long RecordingFollower::PollTail(RowSink& sink, size_t tail) {
    std::vector<uint64_t> ring(tail ? tail : 1);
    std::vector<uint64_t> markers;
    long data_rows = 0, lines = 0;
    int64_t end =
        ForEachLine(consumed_, file_length_, [&](const char* p, const char* e, uint64_t off) {
            ++lines;
            if (p < e && *p == '#')
                markers.push_back(off);
            else if (tail)
                ring[size_t(data_rows++) % ring.size()] = off;
            else
                ++data_rows;
        });
    if (end < 0) return -1;
    long kept = data_rows < long(tail) ? data_rows : long(tail);
    long skipped = data_rows - kept;
    uint64_t tail_start = kept ? ring[size_t(skipped) % ring.size()] : uint64_t(end);

    // Parse the tail into a table first: it must be complete before anything is reported.
    std::vector<double> table;
    table.reserve(size_t(kept) * size_t(shown_));
    bool complete = true;
    std::memset(values_, 0, sizeof values_);
    if (ForEachLine(tail_start, uint64_t(end), [&](const char* p, const char* e, uint64_t) {
            if (e > p && e[-1] == '\r') --e;
            if (p < e && *p == '#') return;
            complete = ParseRow(p, e) && complete;
            table.insert(table.end(), values_, values_ + shown_);
        }) < 0)
        return -1;
    if (!complete) return -2;

    // Report in file order: markers before the tail, the skipped count, then the tail.
    auto marker = [&](uint64_t off) {
        char line[512];
        ssize_t n = pread(fd_, line, sizeof line, off_t(off));
        if (n <= 0) return;
        const char* nl = static_cast<const char*>(std::memchr(line, '\n', size_t(n)));
        ParseLine(line, nl ? nl : line + n, sink);
    };
    size_t m = 0;
    while (m < markers.size() && markers[m] < tail_start) marker(markers[m++]);
    if (skipped) sink.OnRowsSkipped(skipped);
    size_t row = 0;
    ForEachLine(tail_start, uint64_t(end), [&](const char* p, const char* e, uint64_t) {
        if (p < e && *p == '#') {
            ParseLine(p, e, sink);
            return;
        }
        std::memcpy(values_, &table[row * size_t(shown_)], sizeof(double) * size_t(shown_));
        ++row;
        sink.OnRow(values_, shown_);
    });
    consumed_ = uint64_t(end);
    unterminated_ = file_length_ > consumed_ ? file_length_ - consumed_ : 0;
    return lines;
}

long RecordingFollower::Poll(RowSink& sink) {
    if (fd_ < 0) return 0;
    struct stat st {};
    if (fstat(fd_, &st) != 0) return -1;
    file_length_ = uint64_t(st.st_size);
    size_t tail = sink.TailRowsNeeded();
    if (tail <= kMaxTailRows && file_length_ - consumed_ > kBulkBacklog) {
        std::vector<double> saved(values_, values_ + kMaxShownChannels);
        long n = PollTail(sink, tail);
        if (n != -2) return n;
        std::copy(saved.begin(), saved.end(), values_);
    }
    // Bytes of an unfinished line are read again once more arrive rather than kept, so the
    // position is always that of a line start and nothing is carried between polls.
    if (file_length_ == consumed_ + unterminated_) return 0;
    long lines = 0;
    int64_t end = ForEachLine(consumed_, file_length_, [&](const char* p, const char* e, uint64_t) {
        ParseLine(p, e, sink);
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
        size_t len = size_t(end - p);
        if (len >= 3 && std::memcmp(p, "#F=", 3) == 0) {
            const char* q = p + 3;
            while (q < end && IsBlank(*q)) ++q;
            double rate = 0.0;
            if (ParseDouble(q, end, &rate) != q) sink.OnSampleRate(rate == 0.0 ? 1.0 : rate);
        } else if (len >= 7 && std::memcmp(p, "#ERRSEQ", 7) == 0) {
            sink.OnSeqError();
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
