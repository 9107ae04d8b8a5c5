// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecorderPoll.h"

#include "link/ModBus.h"
#include "recorder/RecorderTexts.h"

namespace korvex {

namespace {
constexpr uint8_t kSlave = kRecorderSlave;
}

bool RecorderPoller::Read(uint16_t reg, uint16_t num, uint16_t* out, RecorderPollResult* r) {
    std::string text;
    r->link_status = ModBus_ReadHldReg(port_, kSlave, reg, num, out, &text);
    if (r->link_status == 0) return true;
    // Woken by the mode's stop: the link is sound, and the close says nothing.
    if (r->link_status == kRS232Cancelled)
        r->link_status = 0;
    else
        r->messages.push_back(text);
    r->close = true;
    return false;
}

RecorderPollResult RecorderPoller::Poll() {
    RecorderPollResult r;
    uint16_t words[kRecorderEntryWords];
    static_assert(kRecorderEntryWords >= kRecorderHeaderWords);
    if (!Read(kRecorderHeaderReg, kRecorderHeaderWords, words, &r)) return r;
    header_ = RecorderHeader{words[0], words[1], words[2], words[3]};
    if (header_.version == 0) {
        r.messages.push_back("Эта система не имеет\nаварийного осциллографа!");
        r.close = true;
        return r;
    }
    if (header_.version != 1) {
        r.messages.push_back("Версия аварийного осциллографа\nне поддерживается!");
        r.close = true;
        return r;
    }
    if (header_.file_count > kRecorderMaxFiles) {
        if (!initialised_) r.messages.push_back("Слишком много файлов!");
        header_.file_count = kRecorderMaxFiles;
    }
    const int count = header_.file_count;
    if (count >= 1 && !initialised_) {
        if (!Read(kRecorderSizeReg, 1, words, &r)) return r;
        size_sectors_ = words[0];
    }
    std::string status_text = RecorderStatusLine(header_, size_sectors_);

    if (count == 0) {
        initialised_ = false;
        r.table_empty = true;
    } else {
        const bool recording = header_.state & 1;
        for (int i = 0; i < count; ++i) {
            bool redraw = false;
            if (!initialised_ || table_[i].status() == 1 ||
                (i == header_.current_file && recording)) {
                if (StopRequested(stop_)) {
                    r.close = true;
                    return r;
                }
                const uint16_t reg = uint16_t(kRecorderTableReg + kRecorderEntryWords * i);
                if (!Read(reg, kRecorderEntryWords, words, &r)) return r;
                table_[i] = DecodeFileEntry(words);
                redraw = true;
            }
            if (count != prev_.file_count ||
                (header_.current_file != prev_.current_file &&
                 (i == header_.current_file || i == prev_.current_file)))
                redraw = true;
            if (redraw) r.redraw.push_back(i);
        }
        initialised_ = true;
    }
    r.list_enabled = count >= 1;
    r.rows_before = prev_.file_count;
    r.rows_after = count;
    if (status_text != prev_status_text_) {
        prev_status_text_ = status_text;
        r.status_changed = true;
        r.status_text = status_text;
    }
    if (count != prev_.file_count) {
        r.write_visibility_changed = true;
        r.write_visible = count >= 1;
    }
    if (header_.state != prev_.state) {
        r.write_state_changed = true;
        r.write_enabled = !(header_.state & 2);
        r.write_checked = header_.state & 1;
    }
    r.header = header_;
    r.size_sectors = size_sectors_;
    r.table.assign(table_, table_ + count);
    prev_ = header_;
    return r;
}

}  // namespace korvex
