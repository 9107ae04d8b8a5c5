// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

namespace korvex {

// The regulator's mode-switch frame, sent at 9600 baud 8N1 with no answer:
// FF FE FC, a signed 32-bit key high byte first, the target mode.
constexpr uint8_t kTargetModBus = 0xF5;
constexpr uint8_t kTargetStream = 0xF6;

std::array<uint8_t, 8> BuildModeSwitchFrame(int32_t key, uint8_t target);

}  // namespace korvex
