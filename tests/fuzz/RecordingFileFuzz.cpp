// SPDX-License-Identifier: GPL-3.0-or-later
// A recording file that grows in steps, read as the live window reads it: the header
// reader, then the follower after every step. The follower's position must always be a
// line start with no line end after it, and the rows it reports the data lines before it.
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"

using namespace korvex;

namespace {

struct Count : RowSink {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Silence();
    FuzzedDataProvider in(data, size);
    const bool finished = in.ConsumeBool();
    // A finished file is read once: its last line counts even without its line end.
    const int steps = finished ? 1 : in.ConsumeIntegralInRange(1, 6);
    Count sink;
    if (in.ConsumeBool()) sink.tail = in.ConsumeIntegralInRange<size_t>(1, 8);
    fuzz::MemoryFile file;
    std::string all;
    RecordingHeader header;
    uint64_t header_end = 0;
    RecordingFollower follower;
    for (int s = 0; s < steps; ++s) {
        std::string chunk =
            s + 1 == steps ? in.ConsumeRemainingBytesAsString() : in.ConsumeRandomLengthString(200);
        file.Append(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size());
        all += chunk;
        if (!follower.is_open()) {
            std::string err;
            if (ReadRecordingHeader(file.path(), &header, &header_end, &err, finished) != 0)
                continue;
            FUZZ_CHECK(header.shown >= 1 && header.shown <= kMaxShownChannels, "shown %d",
                       header.shown);
            FUZZ_CHECK(header_end <= all.size() &&
                           (header_end == all.size() || all[header_end - 1] == '\n'),
                       "header ends at %llu of %zu", (unsigned long long)header_end, all.size());
            if (!follower.Open(file.path(), header_end, header.shown, &err)) std::abort();
            follower.set_finished(finished);
        }
        long lines = follower.Poll(sink);
        FUZZ_CHECK(lines >= 0, "read error");
        uint64_t at = follower.consumed();
        FUZZ_CHECK(at >= header_end && at <= all.size(), "position %llu", (unsigned long long)at);
        if (sink.unreadable) continue;
        FUZZ_CHECK(at == header_end || all[at - 1] == '\n' || (finished && at == all.size()),
                   "position %llu is no line start", (unsigned long long)at);
        if (!finished)
            FUZZ_CHECK(all.find('\n', at) == std::string::npos, "a complete line after %llu",
                       (unsigned long long)at);
        long rows = 0;
        for (size_t p = header_end; p < at;) {
            size_t nl = all.find('\n', p);
            size_t e = nl == std::string::npos ? all.size() : nl + 1;
            if (all[p] != '#') ++rows;
            p = e;
        }
        FUZZ_CHECK(rows == sink.rows, "%ld data lines, %ld rows reported", rows, sink.rows);
    }
    return 0;
}
