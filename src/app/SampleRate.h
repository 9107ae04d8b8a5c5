// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace korvex {

// The regulator samples at 500 Hz and streams every divider-th sample. These are the
// dividers it offers, in the order the start dialog lists its rates: 50, 100, 125 and
// 166.7 samples per second.
inline constexpr int kStreamDividers[] = {10, 5, 4, 3};
// The slowest and the fastest of them.
inline constexpr int kSlowestDivider = 10, kFastestDivider = 3;

// The divider for a rate in whole Hz as a user types it (166 and 167 both stand for
// 166.7 Hz); 0 for a rate the regulator does not offer.
constexpr int RateDivider(int rate_hz) {
    switch (rate_hz) {
        case 50: return 10;
        case 100: return 5;
        case 125: return 4;
        case 166:
        case 167: return 3;
        default: return 0;
    }
}

// Samples per second for a divider.
constexpr double SampleRateOf(int divider) {
    return 500.0 / divider;
}

}  // namespace korvex
