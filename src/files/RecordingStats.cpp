// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingStats.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <thread>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "files/RecordingData.h"
#include "files/RecordingScan.h"

namespace korvex {

namespace {

// Running sums of one channel; row indices as the caller counts them.
struct Accumulator {
    double lo = INFINITY, hi = -INFINITY, sum = 0, sum_sq = 0;
    size_t lo_at = 0, hi_at = 0, n = 0;

    void Add(double x, size_t row) {
        if (std::isnan(x)) return;
        if (x < lo) lo = x, lo_at = row;
        if (x > hi) hi = x, hi_at = row;
        sum += x;
        sum_sq += x * x;
        ++n;
    }
    // Adds `count` rows of the same value from `row` on.
    void AddRepeated(double x, size_t row, size_t count) {
        if (std::isnan(x)) return;
        if (x < lo) lo = x, lo_at = row;
        if (x > hi) hi = x, hi_at = row;
        sum += x * double(count);
        sum_sq += x * x * double(count);
        n += count;
    }
    // Adds the sums of rows that come after this one's; `offset` turns their row
    // indices into this one's. Ties keep the first occurrence.
    void Merge(const Accumulator& later, size_t offset) {
        if (later.lo < lo) lo = later.lo, lo_at = later.lo_at + offset;
        if (later.hi > hi) hi = later.hi, hi_at = later.hi_at + offset;
        sum += later.sum;
        sum_sq += later.sum_sq;
        n += later.n;
    }
    ChannelStats Result() const {
        ChannelStats s;
        if (n == 0) return s;
        s.min = lo;
        s.max = hi;
        s.min_row = lo_at;
        s.max_row = hi_at;
        s.mean = sum / double(n);
        s.rms = std::sqrt(sum_sq / double(n));
        s.count = n;
        return s;
    }
};

}  // namespace

std::vector<ChannelStats> ComputeStats(const RecordingData& data, size_t begin, size_t end,
                                       unsigned threads) {
    end = std::min(end, data.rows());
    begin = std::min(begin, end);
    std::vector<ChannelStats> out(size_t(data.channels()));
    if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    if ((end - begin) * out.size() < (1u << 16)) threads = 1;
    std::atomic<int> next{0};
    auto work = [&] {
        for (int c; (c = next.fetch_add(1)) < data.channels();) {
            Accumulator a;
            const double* v = data.column(c);
            for (size_t i = begin; i < end; ++i) a.Add(v[i], i);
            out[size_t(c)] = a.Result();
        }
    };
    std::vector<std::thread> pool;
    try {
        pool.reserve(threads);
        for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    } catch (const std::exception&) {
        // No room for another thread: the threads running share out the channels.
    }
    work();
    for (auto& t : pool) t.join();
    return out;
}

bool RowsBetween(size_t rows, double step, double from, double to, size_t* begin, size_t* end) {
    if (rows == 0 || !(from <= to) || !std::isfinite(from) || !std::isfinite(to)) return false;
    // A time printed with six decimals names its row exactly: allow for the rounding.
    const double slack = 1e-9;
    double first = std::ceil(from / step - slack), last = std::floor(to / step + slack);
    if (first < 0) first = 0;
    if (last > double(rows - 1)) last = double(rows - 1);
    if (first > last) return false;
    *begin = size_t(first);
    *end = size_t(last) + 1;
    return true;
}

bool RowsBetween(const RecordingData& data, double from, double to, size_t* begin, size_t* end) {
    return RowsBetween(data.rows(), data.step(), from, to, begin, end);
}

namespace {

std::string NoRowsText(const std::string& path) {
    return StrPrintf(Tr("В '%s' нет ни одной строки", "'%s' holds no rows"), path.c_str());
}

std::string NoRowsBetweenText(double from, double to, double last) {
    return StrPrintf(Tr("Нет строк между %.6f с и %.6f с (запись кончается на %.6f с)",
                        "No rows between %.6f s and %.6f s (the recording ends at %.6f s)"),
                     from, to, last);
}

// A record of another format (COMTRADE) is read whole, then summed.
bool LoadedStats(const std::string& path, const double* from, const double* to, FileStats* out,
                 std::string* err_text, unsigned threads) {
    RecordingData data;
    if (!data.Load(path, err_text)) return false;
    out->info = data.info();
    out->rows = data.rows();
    if (data.rows() == 0) {
        ReportError(err_text, NoRowsText(path));
        return false;
    }
    const double a = from ? *from : 0.0, b = to ? *to : data.duration();
    if (!RowsBetween(data, a, b, &out->begin, &out->end)) {
        ReportError(err_text, NoRowsBetweenText(a, b, data.duration()));
        return false;
    }
    out->seq_errors = data.seq_errors().size();
    out->channels = ComputeStats(data, out->begin, out->end, threads);
    return true;
}

bool ScanStats(const std::string& path, const double* from, const double* to, FileStats* out,
               std::string* err_text, unsigned threads) {
    RecordingScan scan;
    if (!scan.Open(path, false, threads, err_text)) return false;
    out->info = scan.info();
    out->pending_bytes = scan.pending_bytes();
    const int channels = out->info.channels;
    const size_t nc = size_t(channels);
    auto& pieces = scan.pieces();
    const bool ranged = from || to;
    auto piece_failed = [&](const RecordingScan::Piece& piece) {
        ReportError(err_text, piece.no_memory ? NoMemoryText(out->rows, channels)
                                              : StrPrintf("Read error in '%s'", path.c_str()));
        return false;
    };

    // Without a range one pass does it all: each piece keeps sums with its own row
    // indices, made whole once the pieces' row counts are known. With a range the rows
    // are counted first, so that each row knows its index while it is read.
    std::vector<size_t> base(pieces.size(), 0);
    size_t total = 0;
    if (ranged) {
        scan.ForEachPiece(nullptr, [&](RecordingScan::Piece& piece, LineScanner& sc) {
            scan.ScanPiece(piece, sc, [](const char*, const char*) {});
        });
        for (size_t i = 0; i < pieces.size(); ++i) {
            base[i] = total;
            total += pieces[i].rows;
        }
        out->rows = total;
        for (auto& piece : pieces)
            if (piece.failed) return piece_failed(piece);
    }
    size_t begin = 0, end = SIZE_MAX;
    if (ranged) {
        double a = from ? *from : 0.0;
        double b = to ? *to : (total ? double(total - 1) * out->info.step : 0.0);
        if (total == 0) {
            ReportError(err_text, NoRowsText(path));
            return false;
        }
        if (!RowsBetween(total, out->info.step, a, b, &begin, &end)) {
            ReportError(err_text, NoRowsBetweenText(a, b, double(total - 1) * out->info.step));
            return false;
        }
    }

    // A value a row lacks is the row before's, as the live view reads it. Within a piece
    // it is at hand; at a piece's start it lies in the pieces before, so each piece
    // counts, per channel, its first rows that lack the value (`leads`, left out of its
    // sums) and keeps its last row's values, and the rows left out are added once the
    // pieces are put together in order.
    std::vector<std::vector<Accumulator>> sums(pieces.size(), std::vector<Accumulator>(nc));
    std::vector<std::vector<size_t>> leads(pieces.size(), std::vector<size_t>(nc, 0));
    std::vector<std::vector<double>> lasts(pieces.size(), std::vector<double>(nc, 0.0));
    scan.ForEachPiece(nullptr, [&](RecordingScan::Piece& piece, LineScanner& sc) {
        const size_t i = size_t(&piece - pieces.data());
        auto& acc = sums[i];
        size_t* const lead = leads[i].data();
        double* const values = lasts[i].data();
        size_t local = 0;
        scan.ScanPiece(piece, sc, [&](const char* p, const char* e) {
            size_t row = ranged ? base[i] + local : local;
            ParseRowValues(p, e, channels, values, 1, [&](int c) {
                if (lead[c] == local) ++lead[c];
            });
            if (row >= begin && row < end)
                for (size_t c = 0; c < nc; ++c)
                    if (lead[c] <= local) acc[c].Add(values[c], row);
            ++local;
        });
    });

    std::vector<Accumulator> all(nc);
    std::vector<double> carried(nc, 0.0);  // before the first row: 0
    size_t rows = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].failed) return piece_failed(pieces[i]);
        const size_t first = rows;  // the piece's first row
        for (size_t c = 0; c < nc; ++c) {
            const size_t lead = leads[i][c];
            const size_t a = std::max(first, begin), b = std::min(first + lead, end);
            if (a < b) all[c].AddRepeated(carried[c], a, b - a);
            all[c].Merge(sums[i][c], ranged ? 0 : first);
            if (lead < pieces[i].rows) carried[c] = lasts[i][c];
        }
        out->seq_errors += pieces[i].seq_errors.size();
        rows += pieces[i].rows;
        if (!ranged) out->rows = rows;
    }
    out->seq_errors += scan.header_seq_errors();
    if (ranged && rows != total) {
        ReportError(err_text, StrPrintf("Read error in '%s'", path.c_str()));
        return false;
    }
    out->rows = rows;
    if (rows == 0) {
        ReportError(err_text, StrPrintf(Tr("В '%s' нет ни одной строки", "'%s' holds no rows"),
                                        path.c_str()));
        return false;
    }
    if (!ranged) end = rows;
    out->begin = begin;
    out->end = end;
    for (const Accumulator& a : all) out->channels.push_back(a.Result());
    return true;
}

}  // namespace

bool ScanFileStats(const std::string& path, const double* from, const double* to, FileStats* out,
                   std::string* err_text, unsigned threads) {
    *out = FileStats();
    try {
        if (IsComtradePath(path)) return LoadedStats(path, from, to, out, err_text, threads);
        return ScanStats(path, from, to, out, err_text, threads);
    } catch (const std::exception&) {
        // Only allocations throw here.
        const size_t rows = out->rows;
        const int channels = out->info.channels;
        *out = FileStats();
        ReportError(err_text, NoMemoryText(rows, channels));
        return false;
    }
}

}  // namespace korvex
