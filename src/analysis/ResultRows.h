// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "analysis/OscillationModes.h"
#include "analysis/Spectrum.h"
#include "analysis/StepResponse.h"

namespace korvex {

// One line of an analysis's results as people read them: the quantity in the program's
// language ("Rise time", "Время нарастания") and its value with its unit ("0.412 s",
// "12.5 %"). Numbers never follow the locale. The CLI's text output, the viewer's table
// and the test report show the same rows.
struct ResultRow {
    std::string label;
    std::string value;
};

std::vector<ResultRow> StepRows(const StepResult& r);
// One row per mode ("Mode 1": "0.812 Hz, ζ 0.084 (8.4 %), A 12.3, φ 0.52 rad, 71 %") and
// the log-decrement cross-check.
std::vector<ResultRow> OscillationRows(const OscillationResult& r);
std::vector<ResultRow> SpectrumRows(const SpectrumResult& r);

// The results as JSON, the keys fixed for scripts (null for what is not there):
// step: t0, initial, final, step, rise_time, delay_time, peak, peak_time, overshoot_pct,
// settling_time, band_pct, damping_ratio_est; oscillation: modes [{frequency_hz,
// damping_ratio, amplitude, phase_rad, energy_share}], log_decrement {frequency_hz,
// damping_ratio}; spectrum: resolution_hz, peaks [{frequency_hz, amplitude}]. Numbers
// in their shortest text that reads back exactly, one object, a line end after it.
std::string StepJson(const StepResult& r);
std::string OscillationJson(const OscillationResult& r);
std::string SpectrumJson(const SpectrumResult& r);

}  // namespace korvex
