// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/NormalMode.h"

#include "app/StrPrintf.h"

namespace korvex::sim {

size_t NormalMode::OnBytes(const uint8_t* data, size_t n, SimLink& link) {
    for (size_t i = 0; i < n; ++i) {
        window_.push_back(data[i]);
        if (window_.size() > 8) window_.erase(window_.begin());
        if (window_.size() == 8 && window_[0] == 0xFF && window_[1] == 0xFE && window_[2] == 0xFC) {
            int32_t key = int32_t(uint32_t(window_[3]) << 24 | uint32_t(window_[4]) << 16 |
                                  uint32_t(window_[5]) << 8 | window_[6]);
            uint8_t target = window_[7];
            window_.clear();
            link.Log(StrPrintf("switch frame: key %d, target 0x%02X", key, target));
            link.EnterMode(target, key);
            // Whatever follows belongs to the new mode: a client that waited its 30 ms
            // after the frame may still be read in one go with it when this thread was
            // held up.
            if (link.ModeChanging()) return i + 1;
        }
    }
    return n;
}

}  // namespace korvex::sim
