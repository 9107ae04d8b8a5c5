// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

// One channel of the stream, as its description gives it.
struct OscChannel {
    uint32_t type = 0;    // value encoding: 1, 2, 4 or 20; any other reads as 0
    uint32_t colour = 0;  // 0x00BBGGRR
    double scale = 1.0;
    std::string name;  // at most 49 characters
};

// The plot colour of each screen slot until the regulator names its own.
uint32_t DefaultChannelColour(int slot);

// Longest screen text: 10 segments of a SELVO panel and 4 of a SELVO-M panel when a
// regulator reports both.
constexpr size_t kSelvoTextSize = 112;

// The front panel's display as the stream carries it. Written by the worker, read by
// the panel windows after a notification; `mu` guards every field.
struct SelvoScreen {
    std::mutex mu;
    char text[kSelvoTextSize];
    uint8_t cursor_row = 0;
    uint8_t cursor_col = 0;
    uint8_t cursor_on = 0;
    int idle_count = 0;  // packets without display data since the last status packet

    SelvoScreen() { Clear(); }
    void Clear();
};

// The oscilloscope's process-wide state, shared by OSC_Open, the worker and the window.
struct OscState {
    int version = 0;
    int NumChan = 0;
    int nbyte = 0;                     // bytes of one channel description
    int shown = 0;                     // min(NumChan, 15)
    std::vector<OscChannel> channels;  // NumChan entries; the screen shows the first 15
    bool display_present = false;
    bool selvo = false;   // identify flag bit 0: 4 x 20 panel
    bool selvom = false;  // identify flag bit 1: 2 x 16 panel
    // A key from a panel window, 0 = none. The worker takes it with one exchange, so a
    // key clicked while the worker sends the previous one is never lost.
    std::atomic<uint8_t> pending_key{0};
    std::atomic<int> done{0};  // set by the worker when it has stopped
    double sample_rate = 50.0;

    // The recording being written. The worker's row write and the window's closing of
    // the writer are serialised by writer_mu, so the file is never closed mid-row.
    std::mutex writer_mu;
    FILE* writer = nullptr;

    SelvoScreen screen;
    // Raised on the worker thread after each status packet and after the screen was
    // blanked; the window turns it into a queued signal. Set before the worker starts.
    std::function<void()> on_screen_changed;

    // Called on the worker thread as its last step, after done is set: the owner learns
    // that the worker ended (by a stop or by an error) without polling. Set before the
    // worker starts.
    std::function<void()> on_stopped;

    // CPU time the worker thread used, written when it ends (before done).
    double worker_cpu_seconds = 0;

    // The message the worker stopped with, empty when it was told to stop. The worker
    // keeps it for its owner to show.
    std::mutex stop_mu;
    std::string stop_message;

    // Resets the channel table and flags before a new opening.
    void Reset();
    std::string StopMessage();
};

}  // namespace korvex
