// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>

namespace korvex {

// Big-endian field readers of the regulator's protocols (no range checks).
inline int16_t GetI16BE(const uint8_t* p) {
    return int16_t(uint16_t(p[0] << 8 | p[1]));
}

inline int32_t GetI32BE(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 |
                   uint32_t(p[3]));
}

// The IEEE-754 single whose bit pattern is the four bytes, most significant first.
inline float GetF32BE(const uint8_t* p) {
    uint32_t bits = uint32_t(GetI32BE(p));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace korvex
