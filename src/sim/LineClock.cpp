#include "sim/LineClock.h"

#include <time.h>

#include <thread>

namespace korvex::sim {

Clock::time_point LineClock::Next(Clock::time_point t, const LineSpeed& speed) {
    Clock::time_point start = t > free_at_ ? t : free_at_;
    free_at_ = start + speed.CharTime();
    return free_at_;
}

void SleepUntil(Clock::time_point t) {
    auto left = t - Clock::now();
    if (left <= Clock::duration::zero()) return;
    std::this_thread::sleep_for(left);
}

}  // namespace korvex::sim
