#include "files/RecordingFollower.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "files/NumberParse.h"

namespace korvex {

namespace {

// Reads of a large file go in blocks of this size; a live tick reads only what is new.
constexpr size_t kBlock = 4 << 20;

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

RecordingFollower::RecordingFollower() = default;
RecordingFollower::~RecordingFollower() { Close(); }

bool RecordingFollower::Open(const std::string& path, uint64_t offset, int shown, std::string* err_text) {
    Close();
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        ReportError(err_text, StrPrintf("Open File '%s' error", path.c_str()));
        return false;
    }
    shown_ = shown < 0 ? 0 : (shown > kMaxShownChannels ? kMaxShownChannels : shown);
    consumed_ = offset;
    file_length_ = 0;
    std::memset(values_, 0, sizeof values_);
    return true;
}

void RecordingFollower::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

long RecordingFollower::Poll(RowSink& sink) {
    if (fd_ < 0) return 0;
    struct stat st {};
    if (fstat(fd_, &st) != 0) return -1;
    file_length_ = uint64_t(st.st_size);
    long lines = 0;
    // Bytes of an unfinished line are read again next time rather than kept, so the
    // position is always that of a line start and nothing is carried between polls.
    uint64_t pos = consumed_;
    size_t carry = 0;
    while (pos + carry < file_length_) {
        uint64_t left = file_length_ - pos - carry;
        size_t want = left < kBlock ? size_t(left) : kBlock;
        if (buf_.size() < carry + want) buf_.resize(carry + want);
        ssize_t r = pread(fd_, buf_.data() + carry, want, off_t(pos + carry));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;  // truncated under us
        size_t have = carry + size_t(r);
        const char* base = buf_.data();
        const char* p = base;
        const char* end = base + have;
        while (p < end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            if (!nl) break;
            ParseLine(p, nl, sink);
            ++lines;
            p = nl + 1;
        }
        size_t used = size_t(p - base);
        pos += used;
        carry = have - used;
        if (carry && used) std::memmove(buf_.data(), buf_.data() + used, carry);
    }
    consumed_ = pos;
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
    for (int c = 0; c < shown_ && p < end; ++c) {
        while (p < end && IsBlank(*p)) ++p;
        if (p == end) break;
        double v = 0.0;
        const char* q = ParseDouble(p, end, &v);
        if (q != p) values_[c] = v;
        // Whatever follows the number up to the next separator belongs to it.
        while (q < end && !IsBlank(*q)) ++q;
        p = q;
    }
    sink.OnRow(values_, shown_);
}

}  // namespace korvex
