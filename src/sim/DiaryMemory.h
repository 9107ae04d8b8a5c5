// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/RegisterDevice.h"

namespace korvex::sim {

// One record of a simulated diary.
struct SimDiaryRecord {
    uint16_t code = 0;
    int year = 2026, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// One simulated diary: its record places and how full they are.
struct SimDiary {
    uint16_t capacity = 100;
    std::vector<SimDiaryRecord> places;  // `capacity` places
    uint16_t fill = 0;                   // bit 15: wrapped, oldest at fill & 0x7FFF
};

// Faults and variants for tests; change them from any thread.
struct DiaryFaults {
    // The diary block answers 0 diaries as holding registers and keeps everything in
    // input registers, whose texts carry the high byte 1 lower where the low byte has
    // its top bit set.
    std::atomic<bool> input_variant{false};
    std::atomic<int> text_count{-1};        // a text count to report instead (1001)
    std::atomic<int> fail_after_reads{-1};  // exception 4 once so many window reads passed
};

// The regulator's diaries over ModBus: the diary block at 0x1000 (count, window base
// 0x1100, text count, selector 0x1006, capacity 0x1007, fill words 0x1008-0x1009) and
// the window, which shows a diary's records or a message text as the selector says.
// Standard content: diary 1 wrapped (capacity 100, fill word 0x8005), diary 2 with 40
// records, about 25 Russian message texts (CP1251) whose codes repeat.
// Thread-safe: the simulator's thread serves it while tests change it.
class DiaryMemory : public RegisterDevice {
public:
    static constexpr uint16_t kWindowBase = 0x1100;

    DiaryMemory();

    std::shared_ptr<DiaryFaults> faults = std::make_shared<DiaryFaults>();

    // Replaces the content: the diaries and the texts (CP1251, index = code).
    void SetDiaries(std::vector<SimDiary> diaries);
    void SetTexts(std::vector<std::string> texts);
    std::vector<SimDiary> diaries();
    std::vector<std::string> texts();
    // How often each code's text was read (selector 0x8000 + code written).
    int text_reads(uint16_t code);

    int Read(uint16_t reg, uint16_t num, uint16_t* out, bool input) override;
    int Write(uint16_t reg, uint16_t value) override;

private:
    uint16_t Register(uint16_t reg, bool input);

    std::mutex mu_;
    std::vector<SimDiary> diaries_;
    std::vector<std::string> texts_;
    std::vector<int> text_reads_;
    uint16_t selector_ = 0;
    int window_reads_ = 0;
};

// A diary as a regulator fills it: `records` records from `first`, spaced `step_ms`,
// with codes from `codes` in turn; wrapped when there are more records than places.
SimDiary MakeDiary(uint16_t capacity, int records, const std::vector<uint16_t>& codes, int step_ms);

}  // namespace korvex::sim
