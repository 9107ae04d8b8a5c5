// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/RegisterMap.h"

#include <ctime>

#include "diary/DeviceVersion.h"

namespace korvex::sim {

namespace {
constexpr uint16_t kClock = kClockReg;  // year, month, day, hour, minute, second
}

RegisterMap::RegisterMap() {
    Set(kChannelWordReg, 0x0001 | 0x0004);  // channel 1 of a two-channel regulator, master
    Set(kVersionReg, 0x0203);               // version 2.3
    Set(kVersionReg + 1, 0x0100);           // release 1, no beta
    SetText(kIdentReg, kIdentWords, "KORVEX SIM AVR-2");
    for (uint16_t r = kClock; r < kClock + 6; ++r) Set(r, 0);
}

bool RegisterMap::Read(uint16_t reg, uint16_t num, uint16_t* out) {
    std::lock_guard<std::mutex> lock(mu_);
    for (uint32_t i = 0; i < num; ++i) {
        uint16_t r = uint16_t(reg + i);
        if (r >= kClock && r < kClock + 6) {
            std::time_t now = std::time(nullptr);
            std::tm tm{};
            localtime_r(&now, &tm);
            const int v[6] = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                              tm.tm_hour,        tm.tm_min,     tm.tm_sec};
            out[i] = uint16_t(v[r - kClock]);
            continue;
        }
        auto it = cells_.find(r);
        if (it == cells_.end()) return false;
        out[i] = it->second.value;
    }
    return true;
}

bool RegisterMap::Write(uint16_t reg, uint16_t value) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = cells_.find(reg);
    if (it == cells_.end() || !it->second.writable) return false;
    it->second.value = value;
    return true;
}

void RegisterMap::Set(uint16_t reg, uint16_t value, bool writable) {
    std::lock_guard<std::mutex> lock(mu_);
    cells_[reg] = Cell{value, writable};
}

void RegisterMap::SetText(uint16_t reg, uint16_t num_regs, const std::string& text) {
    for (uint16_t i = 0; i < num_regs; ++i) {
        uint8_t lo = size_t(2 * i) < text.size() ? uint8_t(text[2 * i]) : 0;
        uint8_t hi = size_t(2 * i + 1) < text.size() ? uint8_t(text[2 * i + 1]) : 0;
        Set(uint16_t(reg + i), uint16_t(hi << 8 | lo));
    }
}

}  // namespace korvex::sim
