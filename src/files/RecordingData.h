// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/StopToken.h"
#include "files/RecordingInfo.h"

namespace korvex {

// A whole recording in memory, one column of doubles per channel, for viewing, export and
// statistics. Loading reads the file in pieces on several threads (RecordingScan): a first
// pass counts the rows of each piece, a second parses them straight into their place in
// the columns, so that memory holds the columns and a few read buffers, never the file.
//
// The rows are RecordingScan's; a value a row lacks (or that cannot be read) is taken
// from the row before (0 before the first row), as the live view does. "#ERRSEQ" lines
// are kept as the row index before which they stand.
//
// Memory: the columns, rows × channels × 8 bytes, 8 bytes for each "#ERRSEQ" line and a
// few megabytes besides, whatever the rows lack. Columns that would take more than half
// the machine's memory are refused, and so are columns larger than 256 MB that would be
// more than 16 times the file: such a file's rows lack nearly all their values (a
// damaged "#CHAN=", most often) and the user is better served by a refusal than by
// gigabytes of repeated values.
//
// Not thread-safe while loading; afterwards any number of threads may read it.
class RecordingData {
public:
    struct Options {
        bool finished = false;  // a last line without its line end is read too
        unsigned threads = 0;   // 0: one per processor, at most 8
        // Checked between pieces; a stop requested ends the load with "Cancelled".
        const StopToken* cancel = nullptr;
    };

    RecordingData();
    ~RecordingData();
    RecordingData(RecordingData&&) noexcept;
    RecordingData& operator=(RecordingData&&) noexcept;

    // Loads the file; false with a message by the buffer rule: "Open File '%s' error",
    // "Undefined NumChan & Name[]", "NumChan<=0", "Too many channels (%d)",
    // "Not enough memory for %zu rows of %d channels" (the memory rule above, or an
    // allocation that failed), "Read error in '%s'", "Cancelled". Never throws.
    bool Load(const std::string& path, std::string* err_text, const Options& options);
    bool Load(const std::string& path, std::string* err_text = nullptr) {
        return Load(path, err_text, Options());
    }

    const std::string& path() const { return path_; }
    const RecordingInfo& info() const { return info_; }
    int channels() const { return info_.channels; }
    size_t rows() const { return rows_; }
    const double* column(int c) const { return values_.get() + size_t(c) * rows_; }
    double value(int c, size_t row) const { return column(c)[row]; }
    double step() const { return info_.step; }
    double time(size_t row) const { return double(row) * info_.step; }
    double duration() const { return rows_ ? time(rows_ - 1) : 0.0; }
    // The row nearest to a time, within [0, rows - 1].
    size_t RowAt(double seconds) const;

    // Row index before which each "#ERRSEQ" line stands, in file order.
    const std::vector<size_t>& seq_errors() const { return seq_errors_; }
    // Rows that lacked a value (taken from the row before).
    size_t short_rows() const { return short_rows_; }
    uint64_t pending_bytes() const { return pending_bytes_; }
    uint64_t file_size() const { return file_size_; }
    int64_t modified() const { return modified_; }  // file's time stamp, seconds since 1970

private:
    // Load without its last resort against exceptions; `counted_rows` gets the rows
    // counted, for the message when memory runs out.
    bool LoadRows(const std::string& path, std::string* err_text, const Options& options,
                  size_t* counted_rows);

    std::string path_;
    RecordingInfo info_;
    size_t rows_ = 0;
    // rows × channels values, channel after channel.
    std::unique_ptr<double[]> values_;
    std::vector<size_t> seq_errors_;
    size_t short_rows_ = 0;
    uint64_t pending_bytes_ = 0;
    uint64_t file_size_ = 0;
    int64_t modified_ = 0;
};

}  // namespace korvex
