// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/StopToken.h"
#include "files/ComtradeReader.h"
#include "files/LineScanner.h"
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
// A recording still being written grows by Append (RecordingTail reads the rows added):
// the columns keep room for more rows, channel c at c × capacity, and move when that room
// runs out, so nothing may read them on another thread while rows are appended.
//
// Not thread-safe while loading or growing; otherwise any number of threads may read it.
class RecordingData {
public:
    // Rows read after the load, for Append: row after row, channels() values each.
    struct RowBatch {
        size_t rows = 0;
        std::vector<double> values;
        std::vector<size_t> seq_errors;  // index among these rows before each "#ERRSEQ"
        size_t short_rows = 0;           // rows that lacked a value
        uint64_t read_end = 0;           // file position after the last complete line read
        uint64_t file_size = 0;          // the file's length and time stamp when read
        int64_t modified = 0;
    };

    struct Options {
        bool finished = false;  // a last line without its line end is read too
        unsigned threads = 0;   // 0: one per processor, at most 8
        // Checked between pieces; a stop requested ends the load with "Cancelled".
        const StopToken* cancel = nullptr;
        // A COMTRADE record (IsComtradePath) is read by ReadComtrade, its analog values on
        // this side.
        ComtradeOptions::Side comtrade_side = ComtradeOptions::Side::AsRecorded;
    };

    RecordingData();
    ~RecordingData();
    RecordingData(RecordingData&&) noexcept;
    RecordingData& operator=(RecordingData&&) noexcept;

    // Loads the file; false with a message by the buffer rule: "Open File '%s' error",
    // "Undefined NumChan & Name[]", "NumChan<=0", "Too many channels (%d)",
    // "Not enough memory for %zu rows of %d channels" (the memory rule above, or an
    // allocation that failed), "Read error in '%s'", "Cancelled". A COMTRADE record's
    // .cfg is read by ReadComtrade, with its rules and messages. Never throws.
    bool Load(const std::string& path, std::string* err_text, const Options& options);
    bool Load(const std::string& path, std::string* err_text = nullptr) {
        return Load(path, err_text, Options());
    }
    // Takes the columns another reader made (a COMTRADE record): `values` holds
    // rows × info.channels doubles, channel after channel; `file_size` and `modified` are
    // the data file's. Replaces what the object held. Never throws.
    void Adopt(const std::string& path, RecordingInfo info, size_t rows,
               std::unique_ptr<double[]> values, uint64_t file_size, int64_t modified);

    const std::string& path() const { return path_; }
    const RecordingInfo& info() const { return info_; }
    int channels() const { return info_.channels; }
    size_t rows() const { return rows_; }
    const double* column(int c) const { return values_.get() + size_t(c) * capacity_; }
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
    // Where the rows read so far end in the file: the first byte of a line not read yet.
    uint64_t read_end() const { return file_size_ - pending_bytes_; }
    // Loaded from a recording file (not adopted from another format): rows added to the
    // file can be read on from read_end().
    bool can_follow() const { return can_follow_; }

    // Appends rows read from the file since (RecordingTail), `batch.seq_errors` and
    // short rows with them, and takes the batch's read end, length and time stamp. The
    // columns may move. False with "Not enough memory for %zu rows of %d channels" (the
    // load's memory rule, counting the old columns and the new while both are held)
    // or, for a batch whose rows are not channels() wide, "The new rows do not match the
    // recording's channels" (Russian too); the recording is then as it was. Amortised
    // time per row is constant. Never throws.
    bool Append(const RowBatch& batch, std::string* err_text);
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
    size_t capacity_ = 0;  // rows the columns have room for
    // capacity × channels values, channel after channel, the first rows_ of each in use.
    std::unique_ptr<double[]> values_;
    bool can_follow_ = false;
    std::vector<size_t> seq_errors_;
    size_t short_rows_ = 0;
    uint64_t pending_bytes_ = 0;
    uint64_t file_size_ = 0;
    int64_t modified_ = 0;
};

// Reads the rows added to a recording file after it was loaded, for following a file still
// being written: complete lines from RecordingData::read_end() on, by the load's rules (a
// value a row lacks is the row before's, "#ERRSEQ" kept, other "#" lines and lines longer
// than LineScanner::kMaxLineBytes passed over), every channel of the header. A line still
// being written waits for its line end. Open on any thread, then used by one thread.
class RecordingTail {
public:
    enum class Result { kRead, kCutShort, kReadError };

    ~RecordingTail();
    RecordingTail(const RecordingTail&) = delete;
    RecordingTail& operator=(const RecordingTail&) = delete;

    // Takes what the follow starts from: the path, read_end(), channels, the last row's
    // values (0 without rows). Opens nothing yet. Throws std::bad_alloc only.
    explicit RecordingTail(const RecordingData& data);

    // Reads the complete lines added since the last call into `batch` (replacing what it
    // held), at most `max_rows` rows: kRead, with batch->rows 0 when nothing came; call
    // again at once when batch->rows is max_rows, more may wait. kCutShort: the file (or
    // the one now at its path) is shorter than what was read, cut short or replaced.
    // kReadError: it cannot be opened or read. Throws std::bad_alloc only, after which
    // the tail is not to be polled again.
    Result Poll(RecordingData::RowBatch* batch, size_t max_rows);
    uint64_t read_end() const { return read_end_; }
    const std::string& path() const { return path_; }
    int channels() const { return channels_; }

private:
    std::string path_;
    int fd_ = -1;
    int channels_ = 0;
    uint64_t read_end_ = 0;
    std::vector<double> last_;  // the last row's values
    LineScanner scanner_;
};

}  // namespace korvex
