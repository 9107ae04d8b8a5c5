// SPDX-License-Identifier: GPL-3.0-or-later
// A recording file that grows in steps, read as the live window reads it: the header
// reader, then the follower after every step. The follower's position must always be a
// line start with no line end after it, and the rows it reports the data lines before it.
#include "FuzzSupport.h"
#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"

struct Count : korvex::RowSink {
    void OnRow(const double* v, int n) override {
        for (int i = 0; i < n; ++i) sum += v[i];
        ++rows;
    }
    void OnRowsSkipped(long count) override { rows += count; }
    void OnUnreadableLine() override { ++unreadable; }
    size_t TailRowsNeeded() const override { return tail; }
    long rows = 0, unreadable = 0;
    double sum = 0;
    size_t tail = SIZE_MAX;
};

FUZZ_TARGET {
    const bool finished = in.ConsumeBool();
    // A finished file is read once: its last line counts even without its line end.
    const int steps = finished ? 1 : in.ConsumeIntegralInRange(1, 6);
    Count sink;
    if (in.ConsumeBool()) sink.tail = in.ConsumeIntegralInRange<size_t>(1, 8);
    MemoryFile file;
    std::string all;
    RecordingHeader header;
    uint64_t header_end = 0;
    RecordingFollower follower;
    for (int s = 0; s < steps; ++s) {
        std::string chunk =
            s + 1 == steps ? in.ConsumeRemainingBytesAsString() : in.ConsumeRandomLengthString(200);
        file.Append(chunk);
        all += chunk;
        if (!follower.is_open()) {
            std::string err;
            if (ReadRecordingHeader(file.path(), &header, &header_end, &err, finished) != 0)
                continue;
            FUZZ_CHECK(header.shown >= 1 && header.shown <= kMaxShownChannels, "%d", header.shown);
            FUZZ_CHECK(header_end <= all.size() &&
                           (header_end == all.size() || all[header_end - 1] == '\n'),
                       "header ends at %llu of %zu", (unsigned long long)header_end, all.size());
            if (!follower.Open(file.path(), header_end, header.shown, &err)) std::abort();
            follower.set_finished(finished);
        }
        const long lines = follower.Poll(sink);
        FUZZ_CHECK(lines >= 0, "read error");
        const unsigned long long at = follower.consumed();
        FUZZ_CHECK(at >= header_end && at <= all.size(), "position %llu", at);
        if (sink.unreadable) continue;
        FUZZ_CHECK(at == header_end || all[at - 1] == '\n' || (finished && at == all.size()),
                   "position %llu is no line start", at);
        FUZZ_CHECK(finished || all.find('\n', at) == std::string::npos, "a line after %llu", at);
        long rows = 0;
        for (size_t p = header_end; p < at; p = std::min(all.find('\n', p), all.size() - 1) + 1)
            rows += all[p] != '#';
        FUZZ_CHECK(rows == sink.rows, "%ld data lines, %ld rows reported", rows, sink.rows);
    }
}
