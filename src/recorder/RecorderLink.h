// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/LinkSettings.h"

namespace korvex {

// The fault recorder mode's link, opened and closed around the recorder window.
struct RecorderLink {
    RS232Port* port = nullptr;  // null when the mode could not start
    // Code of the last ModBus call; 0 lets the mode's end take the regulator out of
    // ModBus mode, anything else closes the port only (the link is not trusted).
    uint32_t link_status = 0;
};

// The mode's start: switch key 640 for 115200 baud or 648 for 230400 (settings.av_baud;
// any other speed gives "Unsupported Osc.AvSpeed"), the ModBus side opened at even
// parity, and the recorder's version read. A failed read closes the port; a version of
// 0 gives "Система не имеет аварийного осциллографа!" and takes the regulator out of
// ModBus mode. Messages go to `messages` in order; the port is null on failure.
RecorderLink OpenRecorder(const LinkSettings& settings, std::vector<std::string>* messages);

// The mode's end: the exit message when link_status is 0, else a plain close. Messages
// of a failed exit go to `messages`.
void CloseRecorder(RecorderLink* link, std::vector<std::string>* messages);

}  // namespace korvex
