// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "link/RS232Port.h"

namespace korvex {

// The regulator's own holding registers.
constexpr uint16_t kChannelWordReg = 0;  // bits 0-1 the channel
constexpr uint16_t kVersionReg = 130;    // 130-131: version, release and beta
constexpr uint16_t kIdentReg = 144;      // 144-159: the identification text
constexpr int kIdentWords = 16;
constexpr uint16_t kClockReg = 560;  // 560-565: year, month, day, hour, minute, second

// The regulator's identification and version as one text: the 32-character
// identification (registers 144-159, two characters per register, low byte first, up
// to the first 0 byte), five spaces, "Version %d.%d.%d" from registers 130-131 and
// " Beta %d" when there is a beta number. Returns 0 or the status of the failing read,
// whose message the ModBus client has already reported; `text` then holds what was
// built so far.
uint32_t ReadDeviceVersion(RS232Port* port, uint8_t addr, std::string* text,
                           std::string* err_text = nullptr);

}  // namespace korvex
