// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "analysis/SignalWindow.h"

namespace korvex {

struct StepOptions {
    double band_pct = 2.0;     // the settling band, per cent of |step|, in (0, 100)
    std::optional<double> at;  // the step instant in seconds; found when empty
};

// A step response read the usual way of excitation-control tests. Times are seconds from
// the recording's first row unless they say "from t0".
struct StepResult {
    double t0 = 0;           // the step instant (given, or the first sample beyond the noise)
    double initial = 0;      // mean of the samples before t0
    double final_value = 0;  // mean of the last 10 % of [t0, end]
    double step = 0;         // final_value - initial, either sign
    double t10 = 0, t50 = 0, t90 = 0;  // first crossings of 10, 50 and 90 % of the step
    double rise_time = 0;              // t90 - t10
    double delay_time = 0;             // t50 - t0
    double peak = 0;                   // the extreme in the step's direction after t0
    double peak_time = 0;              // from t0
    double overshoot_pct = 0;          // 100 (peak - final) / step, 0 when the peak stays short
    double band_pct = 2.0;
    std::optional<double> settling_time;      // from t0 to the last exit from the band; empty:
                                              // not settled before the window's end
    std::optional<double> damping_ratio_est;  // second-order reading of the overshoot;
                                              // empty without overshoot
    double noise_sd = 0;                      // standard deviation of the samples before t0
    size_t smoothing = 1;  // samples averaged (centred) before crossings are read
};

// Reads a step response. False with no numbers and a message by the buffer rule (Russian
// too): CheckWindow's, "The settling band must lie between 0 and 100 %", "The step
// instant %.6f s lies outside the window", "No samples before the step at %.6f s", "No
// samples after the step at %.6f s", "The signal is constant: there is no step", "The
// step (%g) is smaller than the noise (5 sd = %g)",
// "The response does not reach 90 % of the step".
//
// Noise: when the samples before t0 vary, crossings, peak and band exits are read on a
// centred moving average a tenth of the rise long (for the band exits of a response that
// swings beyond the band, an eighth of its period), each crossing then refined by a
// quadratic fitted around it, and the peak is the vertex of a parabola fitted over half
// of its rise. The settling time of a noisy response that swings beyond the band is read
// off the response fitted from t0 as damped exponentials, when that fit explains the
// samples down to their noise. Thread-safe; allocates O(count).
bool AnalyzeStep(const SignalWindow& window, const StepOptions& options, StepResult* out,
                 std::string* err_text);

}  // namespace korvex
