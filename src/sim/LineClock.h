// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>

namespace korvex::sim {

using Clock = std::chrono::steady_clock;

// The speed of the simulated line: a character takes bits_per_char / baud seconds
// (start bit, 8 data bits, the parity bit if any, one stop bit).
struct LineSpeed {
    uint32_t baud = 9600;
    uint32_t bits_per_char = 10;

    Clock::duration CharTime() const {
        return std::chrono::nanoseconds(uint64_t(bits_per_char) * 1000000000ull / baud);
    }
};

// Keeps the time at which one direction of the line is next free, so that bytes are
// handed over no earlier than their last bit would arrive on a real line.
class LineClock {
public:
    // The completion time of a character that starts no earlier than `t`; the line is
    // busy until then.
    Clock::time_point Next(Clock::time_point t, const LineSpeed& speed);
    Clock::time_point free_at() const { return free_at_; }

private:
    Clock::time_point free_at_{};
};

}  // namespace korvex::sim
