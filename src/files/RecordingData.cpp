#include "files/RecordingData.h"

#include <cmath>
#include <new>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "files/FileAccess.h"
#include "files/RecordingScan.h"

namespace korvex {

RecordingData::RecordingData() = default;
RecordingData::~RecordingData() = default;
RecordingData::RecordingData(RecordingData&&) noexcept = default;
RecordingData& RecordingData::operator=(RecordingData&&) noexcept = default;

size_t RecordingData::RowAt(double seconds) const {
    if (rows_ == 0 || !(seconds > 0)) return 0;
    double r = std::round(seconds / info_.step);
    return r >= double(rows_ - 1) ? rows_ - 1 : size_t(r);
}

RecordingData RecordingData::FromRows(RecordingInfo info, const std::vector<double>& values) {
    RecordingData d;
    d.info_ = std::move(info);
    int n = d.info_.channels;
    d.rows_ = n ? values.size() / size_t(n) : 0;
    d.values_.reset(new double[d.rows_ * size_t(n) + 1]);
    for (size_t r = 0; r < d.rows_; ++r)
        for (int c = 0; c < n; ++c)
            d.values_[size_t(c) * d.rows_ + r] = values[r * size_t(n) + size_t(c)];
    return d;
}

bool RecordingData::Load(const std::string& path, std::string* err_text, const Options& options) {
    *this = RecordingData();
    path_ = path;
    RecordingScan scan;
    if (!scan.Open(path, options.finished, options.threads, err_text)) return false;
    info_ = scan.info();
    file_size_ = scan.file_size();
    modified_ = scan.modified();
    pending_bytes_ = scan.pending_bytes();
    seq_errors_.assign(scan.header_seq_errors(), 0);
    auto fail = [&](const std::string& text) {
        *this = RecordingData();
        ReportError(err_text, text);
        return false;
    };
    auto& pieces = scan.pieces();
    if (pieces.empty()) {
        values_.reset(new double[1]);
        return true;
    }

    // Pass 1: count the rows of each piece.
    scan.ForEachPiece(options.cancel, [&](RecordingScan::Piece& piece, LineScanner& sc) {
        scan.ScanPiece(piece, sc, [](const char*, const char*) {});
    });
    if (options.cancel && options.cancel->load()) return fail("Cancelled");
    std::vector<size_t> counted, base;
    size_t total = 0;
    for (auto& piece : pieces) {
        if (piece.failed) return fail(StrPrintf("Read error in '%s'", path.c_str()));
        base.push_back(total);
        counted.push_back(piece.rows);
        total += piece.rows;
    }
    const int channels = info_.channels;
    // The columns must fit in memory with room to spare; a damaged "#CHAN=" or a huge
    // file gets a message instead of the system's out-of-memory killer.
    const uint64_t phys = PhysicalMemoryBytes();
    const std::string no_memory =
        StrPrintf("Not enough memory for %zu rows of %d channels", total, channels);
    if (total && uint64_t(total) > phys / 2 / 8 / uint64_t(channels)) return fail(no_memory);
    // Not value-initialised: pass 2 writes every place, and the pages are first touched
    // by the threads that fill them.
    values_.reset(new (std::nothrow) double[total * size_t(channels) + 1]);
    if (!values_) return fail(no_memory);
    rows_ = total;

    // Pass 2: parse each piece's rows into their place.
    std::vector<std::vector<std::pair<size_t, int>>> missing(pieces.size());
    double* const columns = values_.get();
    scan.ForEachPiece(options.cancel, [&](RecordingScan::Piece& piece, LineScanner& sc) {
        size_t i = size_t(&piece - pieces.data());
        size_t row = base[i];
        const size_t row_end = row + counted[i];
        auto& lacks = missing[i];
        scan.ScanPiece(piece, sc, [&](const char* p, const char* e) {
            if (row >= row_end) return;  // the file changed between the passes
            ParseRowValues(p, e, channels, columns + row, total,
                           [&](int c) { lacks.emplace_back(row, c); });
            ++row;
        });
    });
    if (options.cancel && options.cancel->load()) return fail("Cancelled");
    for (size_t i = 0; i < pieces.size(); ++i) {
        // Fewer or more rows than counted: the file was cut back or rewritten meanwhile.
        if (pieces[i].failed || pieces[i].rows != counted[i])
            return fail(StrPrintf("Read error in '%s'", path.c_str()));
        for (size_t e : pieces[i].seq_errors) seq_errors_.push_back(base[i] + e);
        unreadable_lines_ += pieces[i].unreadable;
        // In row order, so that a run of short rows passes the last value on.
        size_t last_row = SIZE_MAX;
        for (auto [r, c] : missing[i]) {
            double* col = columns + size_t(c) * total;
            col[r] = r ? col[r - 1] : 0.0;
            if (r != last_row) ++short_rows_;
            last_row = r;
        }
    }
    return true;
}

}  // namespace korvex
