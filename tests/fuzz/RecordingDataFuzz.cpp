// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's reader of whole recordings: the file split over threads must read exactly
// as on one thread, and the statistics read without columns as those over the columns.
#include "FuzzSupport.h"
#include "files/RecordingData.h"
#include "files/RecordingStats.h"

FUZZ_TARGET {
    RecordingData::Options one, many;
    one.finished = many.finished = in.ConsumeBool();
    one.threads = 1;
    many.threads = in.ConsumeIntegralInRange(2u, 4u);
    MemoryFile file(in.ConsumeRemainingBytesAsString());
    RecordingData a, b;
    std::string ea, eb;
    bool oka = a.Load(file.path(), &ea, one), okb = b.Load(file.path(), &eb, many);
    FUZZ_CHECK(oka == okb && ea == eb, "'%s' against '%s'", ea.c_str(), eb.c_str());
    if (!oka) return;
    FUZZ_CHECK(a.channels() >= 1 && a.channels() == int(a.info().names.size()), "channels");
    FUZZ_CHECK(a.rows() == b.rows() && a.seq_errors() == b.seq_errors() &&
                   a.short_rows() == b.short_rows() && a.pending_bytes() == b.pending_bytes(),
               "%zu rows against %zu", a.rows(), b.rows());
    FUZZ_CHECK(a.step() > 0 && std::isfinite(a.step()), "step %g", a.step());
    for (int c = 0; c < a.channels() && a.rows(); ++c)
        FUZZ_CHECK(!std::memcmp(a.column(c), b.column(c), a.rows() * sizeof(double)), "%d", c);
    if (one.finished || a.rows() == 0) return;
    FileStats f;
    FUZZ_CHECK(ScanFileStats(file.path(), nullptr, nullptr, &f, &ea, many.threads), "%s",
               ea.c_str());
    auto s = ComputeStats(a, 0, a.rows(), 1);
    FUZZ_CHECK(f.rows == a.rows(), "rows");
    for (int c = 0; c < a.channels(); ++c) {
        const ChannelStats &x = f.channels[size_t(c)], &y = s[size_t(c)];
        FUZZ_CHECK(
            x.count == y.count && (!x.count || (x.min == y.min && x.max == y.max &&
                                                x.min_row == y.min_row && x.max_row == y.max_row)),
            "channel %d", c);
    }
}
