// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/OscState.h"

#include <cstring>

namespace korvex {

uint32_t DefaultChannelColour(int slot) {
    static const uint32_t kColours[15] = {0x00FF00, 0xFF0000, 0x0000FF, 0xFFFF00, 0xFF00FF,
                                          0x00FFFF, 0xFFFFFF, 0x008000, 0x800000, 0x000080,
                                          0x808000, 0x800080, 0x008080, 0x808080, 0x80FF00};
    return kColours[slot % 15];
}

void SelvoScreen::Clear() {
    std::memset(text, ' ', sizeof text);
    cursor_row = cursor_col = cursor_on = 0;
    idle_count = 0;
}

void OscState::Reset() {
    version = NumChan = shown = 0;
    channels.clear();
    display_present = selvo = selvom = false;
    pending_key = 0;
    done = 0;
    {
        std::lock_guard<std::mutex> lock(screen.mu);
        screen.Clear();
    }
    std::lock_guard<std::mutex> lock(stop_mu);
    stop_message.clear();
}

std::string OscState::StopMessage() {
    std::lock_guard<std::mutex> lock(stop_mu);
    return stop_message;
}

}  // namespace korvex
