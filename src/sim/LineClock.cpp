// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/LineClock.h"

namespace korvex::sim {

Clock::time_point LineClock::Next(Clock::time_point t, const LineSpeed& speed) {
    Clock::time_point start = t > free_at_ ? t : free_at_;
    free_at_ = start + speed.CharTime();
    return free_at_;
}

}  // namespace korvex::sim
