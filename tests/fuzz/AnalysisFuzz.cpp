// SPDX-License-Identifier: GPL-3.0-or-later
// The analyses on any samples: a recording's numbers may be anything a file holds, from
// a constant to values near the largest double. Each analysis answers or refuses, in
// bounded time, and what it answers keeps its own rules.
#include "FuzzSupport.h"
#include "analysis/OscillationModes.h"
#include "analysis/ResultRows.h"
#include "analysis/Spectrum.h"
#include "analysis/StepResponse.h"

FUZZ_TARGET {
    const int kind = in.ConsumeIntegralInRange(0, 2);
    const bool raw = in.ConsumeBool();  // bit patterns, else 16-bit samples scaled
    const double scale = std::ldexp(1.0, in.ConsumeIntegralInRange(-40, 40));
    StepOptions step_options;
    step_options.band_pct = in.ConsumeIntegralInRange(1, 99);
    if (in.ConsumeBool()) step_options.at = in.ConsumeIntegralInRange(0, 4000) * 0.001;
    const int most = in.ConsumeIntegralInRange(1, 20);
    std::vector<double> v;
    while (in.remaining_bytes() >= (raw ? sizeof(double) : 2) && v.size() < 1200) {
        double x;
        if (raw)
            std::memcpy(&x, in.ConsumeBytes<uint8_t>(sizeof x).data(), sizeof x);
        else
            x = in.ConsumeIntegral<int16_t>() * scale;
        v.push_back(x);
    }
    const SignalWindow w{v.data(), v.size(), 0.002, 0};
    std::string err;
    if (kind == 0) {
        StepResult r;
        if (AnalyzeStep(w, step_options, &r, &err)) {
            FUZZ_CHECK(r.step != 0, "a step of 0");
            FUZZ_CHECK(r.t10 <= r.t50 + 1e-9 * (1 + std::fabs(r.t50)) || r.smoothing > 1,
                       "10 %% at %g after 50 %% at %g", r.t10, r.t50);
            FUZZ_CHECK(r.overshoot_pct >= 0, "overshoot %g", r.overshoot_pct);
            StepJson(r);
            StepRows(r);
        }
    } else if (kind == 1) {
        OscillationResult r;
        OscillationOptions options;
        options.max_modes = most;
        if (AnalyzeOscillation(w, options, &r, &err)) {
            FUZZ_CHECK(!r.modes.empty() && r.modes.size() <= size_t(most), "%zu modes",
                       r.modes.size());
            for (const OscillationMode& m : r.modes)
                FUZZ_CHECK(m.frequency_hz > 0 && m.frequency_hz <= r.rate_hz / 4 &&
                               std::fabs(m.damping_ratio) < 1,
                           "a mode at %g Hz, damping %g", m.frequency_hz, m.damping_ratio);
            OscillationJson(r);
            OscillationRows(r);
        }
    } else {
        SpectrumResult r;
        SpectrumOptions options;
        options.max_peaks = most;
        if (AnalyzeSpectrum(w, options, &r, &err)) {
            FUZZ_CHECK(r.amplitude.size() == r.samples / 2 + 1 && r.samples <= v.size(),
                       "%zu bins of %zu samples", r.amplitude.size(), r.samples);
            FUZZ_CHECK(r.peaks.size() <= size_t(most), "%zu peaks", r.peaks.size());
            SpectrumJson(r);
            SpectrumRows(r);
        }
    }
}
