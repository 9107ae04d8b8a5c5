// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ModeSwitchFrame.h"

namespace korvex {

std::array<uint8_t, 8> BuildModeSwitchFrame(int32_t key, uint8_t target) {
    uint32_t k = static_cast<uint32_t>(key);
    return {0xFF,       0xFE,  0xFC, uint8_t(k >> 24), uint8_t(k >> 16), uint8_t(k >> 8),
            uint8_t(k), target};
}

}  // namespace korvex
