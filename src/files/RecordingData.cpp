// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingData.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "files/FileAccess.h"
#include "files/RecordingScan.h"

namespace korvex {

RecordingData::RecordingData() = default;
RecordingData::~RecordingData() = default;
RecordingData::RecordingData(RecordingData&&) noexcept = default;
RecordingData& RecordingData::operator=(RecordingData&&) noexcept = default;

namespace {

// Columns up to this size are read whatever the file holds.
constexpr uint64_t kColumnsAlwaysRead = uint64_t(256) << 20;
// A value takes 2 bytes at the least ("0" and a separator), so whole rows never make
// columns more than 4 times their file, and the writers' rows (9 bytes a value and more)
// less than once; columns beyond this many times the file are values the rows lack.
constexpr uint64_t kColumnsPerFileByte = 16;

}  // namespace

size_t RecordingData::RowAt(double seconds) const {
    if (rows_ == 0 || !(seconds > 0)) return 0;
    double r = std::round(seconds / info_.step);
    return r >= double(rows_ - 1) ? rows_ - 1 : size_t(r);
}

bool RecordingData::Load(const std::string& path, std::string* err_text, const Options& options) {
    size_t counted = 0;
    try {
        return LoadRows(path, err_text, options, &counted);
    } catch (const std::exception&) {
        // Only allocations throw while loading; the columns, the largest, are freed first.
        const int channels = info_.channels;
        *this = RecordingData();
        ReportError(err_text, NoMemoryText(counted, channels));
        return false;
    }
}

bool RecordingData::LoadRows(const std::string& path, std::string* err_text, const Options& options,
                             size_t* counted_rows) {
    *this = RecordingData();
    path_ = path;
    RecordingScan scan;
    if (!scan.Open(path, options.finished, options.threads, err_text)) return false;
    info_ = scan.info();
    file_size_ = scan.file_size();
    modified_ = scan.modified();
    pending_bytes_ = scan.pending_bytes();
    seq_errors_.assign(scan.header_seq_errors(), 0);
    const int channels = info_.channels;
    const size_t nc = size_t(channels);
    size_t total = 0;
    auto fail = [&](const std::string& text) {
        *this = RecordingData();
        ReportError(err_text, text);
        return false;
    };
    auto piece_failed = [&](const RecordingScan::Piece& piece) {
        return fail(piece.no_memory ? NoMemoryText(total, channels)
                                    : StrPrintf("Read error in '%s'", path.c_str()));
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
    if (StopRequested(options.cancel)) return fail("Cancelled");
    std::vector<size_t> counted, base;
    size_t seq_count = 0;
    for (auto& piece : pieces) {
        base.push_back(total);
        counted.push_back(piece.rows);
        total += piece.rows;
        seq_count += piece.seq_errors.size();
    }
    *counted_rows = total;
    for (auto& piece : pieces)
        if (piece.failed) return piece_failed(piece);

    // Everything the load holds at once must fit with room to spare, so that a damaged
    // "#CHAN=" or a huge file gets a message instead of the system's out-of-memory
    // killer: the columns, each piece's count of the rows at its start that lack a
    // channel's value, the "#ERRSEQ" places, and the threads' read buffers.
    const uint64_t columns_bytes = uint64_t(total) * nc * sizeof(double);
    const uint64_t need =
        columns_bytes + uint64_t(pieces.size()) * nc * sizeof(size_t) +
        uint64_t(seq_count) * sizeof(size_t) +
        uint64_t(scan.threads()) * (LineScanner::kBlock + LineScanner::kMaxLineBytes);
    const uint64_t phys = PhysicalMemoryBytes();
    // Columns many times the file are values the rows lack, repeated: refused before
    // anything is allocated or read again.
    const bool damaged =
        columns_bytes > kColumnsAlwaysRead && columns_bytes / kColumnsPerFileByte > file_size_;
    if (damaged)
        return fail(StrPrintf(Tr("Строки '%s' содержат гораздо меньше значений, чем %d каналов "
                                 "заголовка: запись повреждена и не загружена",
                                 "The rows of '%s' hold far fewer values than the header's %d "
                                 "channels: the recording is damaged and is not loaded"),
                              path.c_str(), channels));
    if ((phys && need > phys / 2) || need > SIZE_MAX / 2) return fail(NoMemoryText(total, channels));
    // Not value-initialised: pass 2 writes every place, and the pages are first touched
    // by the threads that fill them.
    values_.reset(new (std::nothrow) double[total * nc + 1]);
    if (!values_) return fail(NoMemoryText(total, channels));
    rows_ = total;

    // Pass 2: parse each piece's rows into their place. A value a row lacks is the row
    // before's, copied at once within the piece; at the piece's start there is none yet,
    // so `leading` counts, per channel, the piece's first rows that lack the value, to be
    // filled from the pieces before once those are done.
    std::vector<size_t> leading(pieces.size() * nc, 0), shorts(pieces.size(), 0);
    double* const columns = values_.get();
    scan.ForEachPiece(options.cancel, [&](RecordingScan::Piece& piece, LineScanner& sc) {
        const size_t i = size_t(&piece - pieces.data());
        const size_t first = base[i], row_end = first + counted[i];
        size_t* const lead = leading.data() + i * nc;
        size_t row = first, short_rows = 0;
        scan.ScanPiece(piece, sc, [&](const char* p, const char* e) {
            if (row >= row_end) return;  // the file changed between the passes
            bool lacks = false;
            ParseRowValues(p, e, channels, columns + row, total, [&](int c) {
                lacks = true;
                double* col = columns + size_t(c) * total;
                if (lead[c] == row - first) {
                    // Every row of the piece so far lacked it: filled in afterwards.
                    ++lead[c];
                    col[row] = 0.0;
                } else {
                    col[row] = col[row - 1];
                }
            });
            short_rows += lacks;
            ++row;
        });
        shorts[i] = short_rows;
    });
    if (StopRequested(options.cancel)) return fail("Cancelled");
    seq_errors_.reserve(seq_errors_.size() + seq_count);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].failed) return piece_failed(pieces[i]);
        // Fewer or more rows than counted: the file was cut back or rewritten meanwhile.
        if (pieces[i].rows != counted[i])
            return fail(StrPrintf("Read error in '%s'", path.c_str()));
        for (size_t e : pieces[i].seq_errors) seq_errors_.push_back(base[i] + e);
        short_rows_ += shorts[i];
        // In piece order, so that a run of short rows passes the last value on from
        // piece to piece. Before the first row there is no value: 0, as written.
        if (base[i] == 0) continue;
        for (size_t c = 0; c < nc; ++c) {
            double* col = columns + c * total + base[i];
            std::fill(col, col + leading[i * nc + c], col[-1]);
        }
    }
    return true;
}

}  // namespace korvex
