// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/OscFollower.h"

#include "app/StrPrintf.h"

namespace korvex {

bool OscFollower::Open(const std::string& path, uint64_t offset, int shown, double sample_rate,
                       uint32_t now_ms, std::string* err_text, bool finished) {
    shown_ = shown < 0 ? 0 : (shown > kMaxShownChannels ? kMaxShownChannels : shown);
    rows_ = 0;
    sample_rate_ = sample_rate;
    start_ms_ = now_ms;
    // The first tick shows the status line, as a tick count long past the last update
    // would. The status clock and the caption turn go on across recordings.
    if (!status_started_) last_status_ms_ = now_ms - 501;
    status_started_ = true;
    if (!reader_.Open(path, offset, shown_, err_text)) return false;
    reader_.set_finished(finished);
    return true;
}

OscFollower::Tick OscFollower::Poll(uint32_t now_ms) {
    Tick tick;
    tick_ = &tick;
    if (reader_.is_open() && reader_.Poll(*this) < 0) OnUnreadableLine();
    tick_ = nullptr;
    if (reader_.is_open() && uint32_t(now_ms - last_status_ms_) > 500) {
        last_status_ms_ = now_ms;
        tick.status_changed = true;
        tick.display_changed = true;
    }
    return tick;
}

std::string OscFollower::StatusLine(uint32_t now_ms) const {
    uint32_t s = (now_ms - start_ms_) / 1000;
    return StrPrintf("Time=%.2d:%.2d:%.2d , Fsam=%.2lf Hz , Samples=%.3lf K , File Length=%.3lf MB",
                     int(s / 3600), int(s / 60 % 60), int(s % 60), sample_rate_, rows_ / 1000.0,
                     reader_.file_length() / 1048576.0);
}

void OscFollower::OnRow(const double* values, int shown) {
    ++rows_;
    for (int c = 0; c < shown; ++c) values_[c] = values[c];
    if (rows_ == 1) {
        for (int c = 0; c < shown; ++c) buffers_[c].Fill(values[c]);
        tick_->filled = true;
    } else {
        for (int c = 0; c < shown; ++c) buffers_[c].Push(values[c]);
        if (shown > 0) {
            // One channel's caption per row, in turn; a tick reports each channel once.
            int c = caption_index_;
            int k = 0;
            while (k < tick_->captions && tick_->caption_channel[k] != c) ++k;
            if (k == tick_->captions) tick_->caption_channel[tick_->captions++] = c;
            tick_->caption_value[k] = values[c];
            caption_index_ = (caption_index_ + 1) % shown;
        }
    }
    tick_->display_changed = true;
}

void OscFollower::OnRowsSkipped(long count) {
    // The 4000 rows that follow overwrite every buffer entry, the flat start included.
    // The first row fills instead of refreshing a caption.
    long captioned = rows_ == 0 ? count - 1 : count;
    if (rows_ == 0) tick_->filled = true;
    rows_ += count;
    if (shown_ > 0) caption_index_ = int((caption_index_ + captioned) % shown_);
    tick_->display_changed = true;
}

void OscFollower::OnSampleRate(double rate) {
    sample_rate_ = rate;
    tick_->rate_changed = true;
}

void OscFollower::OnUnreadableLine() {
    ++read_failures_;
    error_line_ = StrPrintf("%d", read_failures_);
    tick_->error_changed = true;
}

void OscFollower::OnSeqError() {
    ++seq_errors_;
    error_line_ = StrPrintf("Seq. Errors: %d", seq_errors_);
    tick_->error_changed = true;
}

}  // namespace korvex
