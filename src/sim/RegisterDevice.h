// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace korvex::sim {

// A part of the simulated regulator that serves a range of ModBus registers itself (the
// fault recorder, the diaries), consulted by the ModBus side before the plain register
// map. Runs on the simulator's thread; implementations lock what tests change.
class RegisterDevice {
public:
    // Not this device's registers: the next one is asked.
    static constexpr int kNotMine = -1;

    virtual ~RegisterDevice() = default;
    // 0 with the values, a ModBus exception code, or kNotMine. `input`: function 4.
    virtual int Read(uint16_t reg, uint16_t num, uint16_t* out, bool input) = 0;
    // 0, a ModBus exception code, or kNotMine.
    virtual int Write(uint16_t reg, uint16_t value) = 0;
};

}  // namespace korvex::sim
