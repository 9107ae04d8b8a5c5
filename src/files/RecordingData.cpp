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
#include "files/RecordingHeader.h"
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
    if (IsComtradePath(path)) {
        *this = RecordingData();
        return ReadComtrade(path, this, err_text, {options.comtrade_side, options.cancel});
    }
    size_t counted = 0;
    try {
        can_follow_ = LoadRows(path, err_text, options, &counted);
        return can_follow_;
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
    if ((phys && need > phys / 2) || need > SIZE_MAX / 2)
        return fail(NoMemoryText(total, channels));
    // Not value-initialised: pass 2 writes every place, and the pages are first touched
    // by the threads that fill them.
    values_.reset(new (std::nothrow) double[total * nc + 1]);
    if (!values_) return fail(NoMemoryText(total, channels));
    rows_ = capacity_ = total;

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

void RecordingData::Adopt(const std::string& path, RecordingInfo info, size_t rows,
                          std::unique_ptr<double[]> values, uint64_t file_size, int64_t modified) {
    // Moves only, which do not throw: the old recording's memory goes before anything else.
    *this = RecordingData();
    path_ = path;
    info_ = std::move(info);
    rows_ = capacity_ = rows;
    values_ = std::move(values);
    file_size_ = file_size;
    modified_ = modified;
}

bool RecordingData::Append(const RowBatch& batch, std::string* err_text) {
    const size_t nc = size_t(info_.channels);
    const size_t total = rows_ + batch.rows;
    try {
        if (batch.values.size() != batch.rows * nc) {
            ReportError(err_text, Tr("Новые строки не совпадают с каналами записи",
                                     "The new rows do not match the recording's channels"));
            return false;
        }
        // Before the columns can move: the envelopes point at them until the caller has
        // extended them over the rows added, so nothing may fail after the move.
        seq_errors_.reserve(seq_errors_.size() + batch.seq_errors.size());
        if (total > capacity_) {
            // Doubling keeps the copies to one per row on average; while the new columns
            // are filled the old are held too, and both must fit the load's rule.
            const uint64_t phys = PhysicalMemoryBytes();
            auto fits = [&](size_t capacity) {
                if (capacity > SIZE_MAX / 2 / (nc + 1)) return false;
                uint64_t bytes = (uint64_t(capacity_) + capacity) * nc * sizeof(double);
                return !(phys && bytes > phys / 2);
            };
            size_t capacity = std::max(total, capacity_ * 2);
            if (!fits(capacity)) capacity = total;
            std::unique_ptr<double[]> grown;
            if (fits(capacity)) grown.reset(new (std::nothrow) double[capacity * nc + 1]);
            if (!grown) {
                ReportError(err_text, NoMemoryText(total, info_.channels));
                return false;
            }
            for (size_t c = 0; c < nc; ++c)
                std::copy(column(int(c)), column(int(c)) + rows_, grown.get() + c * capacity);
            values_ = std::move(grown);
            capacity_ = capacity;
        }
    } catch (const std::exception&) {
        // The rows and the columns are as they were; only the message is left.
        try {
            ReportError(err_text, NoMemoryText(total, info_.channels));
        } catch (const std::exception&) {
        }
        return false;
    }
    const double* in = batch.values.data();
    for (size_t c = 0; c < nc; ++c) {
        double* col = values_.get() + c * capacity_ + rows_;
        for (size_t r = 0; r < batch.rows; ++r) col[r] = in[r * nc + c];
    }
    for (size_t e : batch.seq_errors) seq_errors_.push_back(rows_ + e);
    rows_ = total;
    short_rows_ += batch.short_rows;
    file_size_ = batch.file_size;
    pending_bytes_ = batch.file_size > batch.read_end ? batch.file_size - batch.read_end : 0;
    modified_ = batch.modified;
    return true;
}

RecordingTail::RecordingTail(const RecordingData& data)
    : path_(data.path()),
      channels_(data.channels()),
      read_end_(data.read_end()),
      last_(size_t(data.channels()), 0.0) {
    if (data.rows())
        for (int c = 0; c < channels_; ++c) last_[size_t(c)] = data.value(c, data.rows() - 1);
}

RecordingTail::~RecordingTail() {
    CloseFile(fd_);
}

RecordingTail::Result RecordingTail::Poll(RecordingData::RowBatch* batch, size_t max_rows) {
    batch->rows = 0;
    batch->values.clear();
    batch->seq_errors.clear();
    batch->short_rows = 0;
    if (fd_ < 0) {
        fd_ = OpenForReading(path_);
        if (fd_ < 0) return Result::kReadError;
        scanner_.Reset(fd_);
    }
    uint64_t length = 0;
    int64_t modified = 0;
    if (!FileSizeAndTime(fd_, &length, &modified)) return Result::kReadError;
    if (length < read_end_) return Result::kCutShort;
    // A file written anew under the same name leaves the open one as it was: the one at
    // the path, shorter than what was read, tells.
    int fd = OpenForReading(path_);
    uint64_t at_path = 0;
    bool same = fd >= 0 && FileSizeAndTime(fd, &at_path, nullptr);
    CloseFile(fd);
    if (!same) return Result::kReadError;
    if (at_path < read_end_) return Result::kCutShort;

    const size_t nc = size_t(channels_);
    int64_t end = scanner_.Scan(
        read_end_, length, false,
        [&](const char* p, const char* e, uint64_t) {
            if (e > p && e[-1] == '\r') --e;
            if (p < e && *p == '#') {
                if (HeaderLineKey(p, e) == HeaderKey::kSeqError)
                    batch->seq_errors.push_back(batch->rows);
                return true;
            }
            batch->values.insert(batch->values.end(), last_.begin(), last_.end());
            double* row = batch->values.data() + batch->rows * nc;
            bool lacks = false;
            ParseRowValues(p, e, channels_, row, 1, [&](int) { lacks = true; });
            std::copy(row, row + nc, last_.begin());
            batch->short_rows += lacks;
            return ++batch->rows < max_rows;
        },
        [](uint64_t) {});
    if (end < 0) return Result::kReadError;
    read_end_ = uint64_t(end);
    batch->read_end = read_end_;
    batch->file_size = length;
    batch->modified = modified;
    return Result::kRead;
}

}  // namespace korvex
