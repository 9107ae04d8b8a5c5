// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <complex>
#include <optional>
#include <string>
#include <vector>

#include "analysis/SignalWindow.h"

namespace korvex {

// One oscillatory mode: A e^(-ζ ω t) cos(ω_d t + φ), t from the window's start.
struct OscillationMode {
    double frequency_hz = 0;   // damped frequency
    double damping_ratio = 0;  // ζ, a fraction (negative: a growing oscillation)
    double amplitude = 0;      // A, in the channel's units
    double phase_rad = 0;      // φ at the window's start
    double energy_share = 0;   // its part of the energy of the window less its offset
};

// The cross-check of the largest mode: damping from the logarithmic decrement of the
// signal's successive peaks, frequency from their spacing.
struct LogDecrement {
    double frequency_hz = 0;
    double damping_ratio = 0;
    int peaks = 0;  // peaks it was read from
};

struct OscillationOptions {
    int max_modes = 4;  // modes reported at most, largest first
};

struct OscillationResult {
    std::vector<OscillationMode> modes;  // by amplitude, largest first
    std::optional<LogDecrement> log_decrement;
    double offset = 0;   // the window's mean, removed before the fit
    double rate_hz = 0;  // the rate the modes were estimated at (long windows are averaged down)
    int order = 0;       // the model order the singular values gave
    double start = 0;    // the window's start, seconds
    // Every fitted term, the non-oscillatory ones and the dropped ones too: continuous
    // poles (1/s) and complex amplitudes, so that FittedValue draws the whole fit.
    std::vector<std::complex<double>> poles, residues;
};

// Estimates the oscillation modes of a ring-down with the matrix-pencil method, the
// model order taken from the singular values of the data matrix. Windows longer than
// 800 samples are averaged down in blocks first (which keeps every mode's frequency and
// damping; amplitudes and phases are corrected for it). Modes above half the Nyquist
// frequency of the analysed rate, and modes with a damping ratio outside (-1, 1), are
// dropped. False with no numbers and a message by the buffer rule (Russian too):
// CheckWindow's, "The signal is constant: there is nothing to fit", "No oscillation found
// in the window". Thread-safe.
bool AnalyzeOscillation(const SignalWindow& window, const OscillationOptions& options,
                        OscillationResult* out, std::string* err_text);

// A window as a sum of damped exponentials, the matrix pencil's fit that the modes come
// from: offset + sum of residues[i] e^(poles[i] (t - start)), t in seconds of the
// recording. Every term is kept, real ones and fast ones too, but for a term gone after
// its first sample. False with a message by the buffer rule: CheckWindow's, "The signal is
// constant: there is nothing to fit", "No oscillation found in the window" (nothing above
// the noise), "Not enough memory to analyse". Thread-safe.
struct ExponentialFit {
    double offset = 0, start = 0;
    std::vector<std::complex<double>> poles, residues;  // 1/s; the channel's units
    size_t block = 1;         // samples averaged into each one the pencil saw
    double residual_rms = 0;  // what the fit leaves of those averages
};
// `max_samples` (20..800) bounds what the pencil sees: longer windows are averaged down in
// blocks, and its cost grows with the cube of it.
bool FitExponentials(const SignalWindow& window, size_t max_samples, ExponentialFit* out,
                     std::string* err_text);

// The fitted signal at `seconds` (the recording's time): offset plus every fitted term.
double FittedValue(const OscillationResult& result, double seconds);

}  // namespace korvex
