// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/SignalWindow.h"

namespace korvex {

struct SpectrumPeak {
    double frequency_hz = 0;  // refined between bins
    double amplitude = 0;     // of the sine, in the channel's units
};

struct SpectrumOptions {
    int max_peaks = 5;
};

struct SpectrumResult {
    double resolution_hz = 0;  // bin spacing: rate / samples
    size_t samples = 0;        // samples transformed (the window's first ones)
    // The amplitude spectrum, bin k at k * resolution_hz for k = 0 .. samples / 2, in the
    // channel's units: a sine of amplitude A centred on a bin reads A there.
    std::vector<double> amplitude;
    std::vector<SpectrumPeak> peaks;  // largest first
};

// Amplitude spectrum of the window, its straight-line trend removed, through a Hann
// window. The transform takes the longest leading part of the window whose length has no
// prime factor above 5 (at most a few per cent shorter), which keeps it fast for any
// length. Peaks: local maxima above 3 % of the largest and above the noise floor, their
// frequency and amplitude refined from the neighbouring bins. False with no numbers and a
// message by the buffer rule: CheckWindow's. Thread-safe.
bool AnalyzeSpectrum(const SignalWindow& window, const SpectrumOptions& options,
                     SpectrumResult* out, std::string* err_text);

}  // namespace korvex
