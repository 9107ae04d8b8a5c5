// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace korvex::sim {

// A fault counter set from any thread: N spoils the next N uses, -1 every use, 0 none.
// True when this use is to be spoiled.
inline bool TakeFault(std::atomic<int>& counter) {
    int v = counter.load();
    while (v != 0) {
        if (v < 0) return true;
        if (counter.compare_exchange_weak(v, v - 1)) return true;
    }
    return false;
}

}  // namespace korvex::sim
