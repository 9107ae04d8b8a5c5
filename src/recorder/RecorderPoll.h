// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "app/StopToken.h"
#include "link/RS232Port.h"
#include "recorder/RecorderEntry.h"

namespace korvex {

// What one poll found and what the recorder window must change, in the order the window
// applies it: the messages first, then the rows, the status line, the redraws and the
// "Write" box.
struct RecorderPollResult {
    // The window closes after the messages: a failed exchange (link_status not 0), or a
    // recorder that is missing or of an unsupported version (link_status 0).
    bool close = false;
    std::vector<std::string> messages;
    // Code of the poll's last ModBus call, 0 on success; chooses at the end of the mode
    // between leaving ModBus mode and a plain close of the port.
    uint32_t link_status = 0;

    RecorderHeader header;                 // file_count clamped to 512
    uint32_t size_sectors = 0;             // register 0x8004
    std::vector<RecorderFileEntry> table;  // file_count entries

    // The list's rows: rows_after - rows_before rows appended, or rows deleted from the
    // end; the row index is the table index.
    int rows_before = 0, rows_after = 0;
    std::vector<int> redraw;  // rows whose texts may have changed
    bool status_changed = false;
    std::string status_text;
    bool list_enabled = false;
    // No recordings: the detail fields and the Read button are disabled.
    bool table_empty = false;
    bool write_visibility_changed = false, write_visible = false;
    bool write_state_changed = false, write_enabled = false, write_checked = false;
};

// The recorder window's poll of header and file table, one call per 300 ms. A poll
// normally costs one exchange, the header; the size register and the whole table (up to
// 512 exchanges) are read when the table is not initialised, and afterwards only the
// entries being recorded (status 1) and the current entry during a recording. Messages
// (Russian only, as the recorder's users know them): "Эта система не имеет\nаварийного
// осциллографа!", "Версия аварийного осциллографа\nне поддерживается!", "Слишком много
// файлов!" (once per initialisation), and the ModBus texts of a failed exchange.
// Used by one thread at a time; the port's exchanges are whole through ModBusLock.
class RecorderPoller {
public:
    explicit RecorderPoller(RS232Port* port) : port_(port) {}
    // The mode's stop token: once asked, a long poll (a new table of up to 512 entries)
    // ends between two exchanges, and an exchange it woke (kRS232Cancelled) ends the
    // poll; either way the poll closes without a message.
    void set_stop(const StopToken* stop) { stop_ = stop; }
    RecorderPollResult Poll();

private:
    bool Read(uint16_t reg, uint16_t num, uint16_t* out, RecorderPollResult* r);

    RS232Port* port_;
    const StopToken* stop_ = nullptr;
    RecorderHeader header_, prev_;
    bool initialised_ = false;
    uint32_t size_sectors_ = 0;
    RecorderFileEntry table_[kRecorderMaxFiles];
    std::string prev_status_text_;
};

}  // namespace korvex
