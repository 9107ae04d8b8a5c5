// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "link/RS232Port.h"

namespace korvex {

// The link record: filled by the start dialog (or the command line) before a mode
// starts; each mode's session keeps its own copy and the port it opens.
struct LinkSettings {
    LinkSettings() = default;
    // A copy carries the choices, the mode flag and the file, but never the open port,
    // which has one owner.
    LinkSettings(const LinkSettings& o) { *this = o; }
    LinkSettings& operator=(const LinkSettings& o) {
        port_name = o.port_name;
        osc_baud = o.osc_baud;
        rate_divider = o.rate_divider;
        rate_index = o.rate_index;
        av_baud = o.av_baud;
        live_mode = o.live_mode.load();
        file_arg = o.file_arg;
        return *this;
    }

    std::string port_name;
    RS232Port* port = nullptr;   // the one open port, null while closed
    uint32_t osc_baud = 115200;  // 115200, 57600 or 38400
    int rate_divider = 10;       // of the regulator's 500 Hz: 10, 5, 4, 3
    int rate_index = 1;          // 1..4 for 50, 100, 125, 166.7 Hz
    uint32_t av_baud = 115200;   // recorder speed: 115200 or 230400
    // 1 while acquisition shall go on; the window (or Ctrl-C) clears it to stop the
    // worker. Written by one thread, read by the worker once per packet.
    std::atomic<int> live_mode{0};
    std::string file_arg;  // the recording being written or shown
};

}  // namespace korvex
