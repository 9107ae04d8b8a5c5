// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"
#include "osc/ChannelBuffer.h"

namespace korvex {

// The main window's follower: on every tick it takes the complete lines added to the
// recording since the last tick into the channel buffers, the latest values, the
// counters and the status line. The recording file is the only path from the worker to
// the screen; a finished recording is read whole by the first tick. No Qt: the window
// applies what a tick reports. One per opening of the window, so every count starts
// at 0. Runs on the GUI thread.
class OscFollower : public RowSink {
public:
    struct Tick {
        bool display_changed = false;  // the plots need redrawing
        bool rate_changed = false;     // a "#F=" line: refresh the time labels
        bool status_changed = false;   // the status line was rebuilt
        bool error_changed = false;    // the error line changed
        bool filled = false;           // the first row filled the buffers flat
        // Captions to refresh: the channel and its value in the row that was its turn.
        int caption_channel[kMaxShownChannels];
        double caption_value[kMaxShownChannels];
        int captions = 0;
    };

    // Starts following `path` from byte `offset`. `now_ms` starts the Time count. A
    // `finished` recording (viewing) has its last line read even without a line end.
    bool Open(const std::string& path, uint64_t offset, int shown, double sample_rate,
              uint32_t now_ms, std::string* err_text = nullptr, bool finished = false);
    // Stops reading (writing switched off).
    void Close() { reader_.Close(); }
    bool is_open() const { return reader_.is_open(); }

    Tick Poll(uint32_t now_ms);

    // "Time=%.2d:%.2d:%.2d , Fsam=%.2lf Hz , Samples=%.3lf K , File Length=%.3lf MB"
    std::string StatusLine(uint32_t now_ms) const;
    // "Seq. Errors: %d" after a "#ERRSEQ", the failure count "%d" after a failed read.
    const std::string& error_line() const { return error_line_; }

    const ChannelBuffer& buffer(int c) const { return buffers_[c]; }
    double value(int c) const { return values_[c]; }
    long rows() const { return rows_; }
    double sample_rate() const { return sample_rate_; }
    int seq_errors() const { return seq_errors_; }
    uint64_t file_length() const { return reader_.file_length(); }

private:
    void OnRow(const double* values, int shown) override;
    void OnSampleRate(double rate) override;
    void OnSeqError() override;
    // A line too long to be read counts as a failed read.
    void OnUnreadableLine() override;
    // Only the newest 4000 rows can be on screen; older ones of a long recording being
    // opened are counted, not parsed.
    size_t TailRowsNeeded() const override { return ChannelBuffer::kSize; }
    void OnRowsSkipped(long count) override;

    RecordingFollower reader_;
    int shown_ = 0;
    ChannelBuffer buffers_[kMaxShownChannels];
    double values_[kMaxShownChannels] = {};
    long rows_ = 0;
    double sample_rate_ = 1.0;
    int seq_errors_ = 0;
    int read_failures_ = 0;
    int caption_index_ = 0;
    uint32_t start_ms_ = 0;
    uint32_t last_status_ms_ = 0;
    bool status_started_ = false;
    std::string error_line_;
    Tick* tick_ = nullptr;
};

}  // namespace korvex
