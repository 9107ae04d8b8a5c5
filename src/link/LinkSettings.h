#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "link/RS232Port.h"

namespace korvex {

// The program-wide link record: filled by the start dialog (or the command line) before
// a mode starts, read by the modes.
struct LinkSettings {
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

extern LinkSettings g_LinkSettings;

}  // namespace korvex
