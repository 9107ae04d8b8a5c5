// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final inversion);
// "123456789" gives 0x4B37. On the wire the low byte goes first.
uint16_t ModBus_CRC(const uint8_t* bytes, size_t count);

}  // namespace korvex
