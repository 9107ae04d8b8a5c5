// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace korvex::sim {

// The regulator's ModBus registers as the simulator serves them. Thread-safe: the
// simulator's thread serves them while tests and demos look at or change them.
class RegisterMap {
public:
    // A plausible regulator: channel word, version, identification text and clock. The
    // fault recorder and the diaries are devices of their own (RegisterDevice).
    RegisterMap();

    // Reads `num` registers from `reg`; false when any of them does not exist.
    bool Read(uint16_t reg, uint16_t num, uint16_t* out);
    // Writes; false when a register does not exist or is read-only.
    bool Write(uint16_t reg, uint16_t value);

    void Set(uint16_t reg, uint16_t value, bool writable = false);
    // Places text two characters per register, low byte first, zero-padded.
    void SetText(uint16_t reg, uint16_t num_regs, const std::string& text);

private:
    struct Cell {
        uint16_t value = 0;
        bool writable = false;
    };
    std::mutex mu_;
    std::map<uint16_t, Cell> cells_;
};

}  // namespace korvex::sim
