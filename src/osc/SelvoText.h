// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "osc/OscState.h"

namespace korvex {

// One refresh of a panel window's display from the shared screen: toggles the window's
// blink flag, writes the cursor mark "_" into the screen text when the cursor is on,
// the flag is set and the place lies on the display, then builds the lines (SELVO: 4 of
// 20 characters, SELVO-M: 2 of 16, joined by line feeds; a 0 byte ends the text), maps
// 0x18 to "^" and 0x19 to "v", and converts from the panel's code page to UTF-8.
// With both panels the SELVO-M text follows the SELVO's 80 characters: `offset` 80.
std::string RefreshSelvoDisplay(SelvoScreen& screen, bool selvom, bool* blink, int offset = 0);

}  // namespace korvex
