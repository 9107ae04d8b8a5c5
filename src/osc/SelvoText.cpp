// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/SelvoText.h"

#include "app/CodePages.h"

namespace korvex {

std::string RefreshSelvoDisplay(SelvoScreen& screen, bool selvom, bool* blink, int offset) {
    const int rows = selvom ? 2 : 4, cols = selvom ? 16 : 20;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(screen.mu);
        *blink = !*blink;
        if (screen.cursor_on && *blink && screen.cursor_col < cols && screen.cursor_row < rows)
            screen.text[offset + screen.cursor_row * cols + screen.cursor_col] = '_';
        for (int r = 0; r < rows; ++r) {
            if (r) text += '\n';
            text.append(screen.text + offset + r * cols, size_t(cols));
        }
    }
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    for (char& c : text) {
        if (c == 0x18) c = '^';
        if (c == 0x19) c = 'v';
    }
    return selvom ? Cp1251ToUtf8(text) : Cp866ToUtf8(text);
}

}  // namespace korvex
