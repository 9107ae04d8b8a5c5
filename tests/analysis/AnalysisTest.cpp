// SPDX-License-Identifier: GPL-3.0-or-later
// The analyses against signals built from formulas, with the exact figures worked out here
// from the same formulas (root finding), never from the code under test.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/OscillationModes.h"
#include "analysis/Spectrum.h"
#include "analysis/StepResponse.h"

namespace korvex {
namespace {

constexpr double kPi = std::numbers::pi;

// The unit step response of a second-order system, 0 before t = 0.
double SecondOrder(double zeta, double wn, double t) {
    if (t <= 0) return 0;
    const double wd = wn * std::sqrt(1 - zeta * zeta);
    return 1 - std::exp(-zeta * wn * t) *
                   (std::cos(wd * t) + zeta / std::sqrt(1 - zeta * zeta) * std::sin(wd * t));
}

// The time in [a, b] where f crosses zero, by bisection (f(a) and f(b) of opposite sign).
double Root(const std::function<double(double)>& f, double a, double b) {
    for (int i = 0; i < 100; ++i) {
        const double m = 0.5 * (a + b);
        ((f(a) < 0) == (f(m) < 0) ? a : b) = m;
    }
    return 0.5 * (a + b);
}

// The first time y reaches `level`, scanning forward in fine steps.
double FirstReach(const std::function<double(double)>& y, double level, double end) {
    const double h = 1e-4;
    for (double t = h; t < end; t += h)
        if (y(t) >= level) return Root([&](double x) { return y(x) - level; }, t - h, t);
    return NAN;
}

// The last time |y - 1| equals `band`, scanning back from the end (in steps short enough
// for the narrowest excursion beyond the band that matters here).
double LastExit(const std::function<double(double)>& y, double band, double end) {
    const double h = 1e-3;
    for (double t = end; t > h; t -= h)
        if (std::fabs(y(t) - 1) > band)
            return Root([&](double x) { return std::fabs(y(x) - 1) - band; }, t, t + h);
    return 0;
}

SignalWindow Window(const std::vector<double>& v, double rate, double start = 0) {
    return {v.data(), v.size(), 1 / rate, start};
}

TEST(StepResponse, SecondOrderResponsesReadAsTheFormulaSays) {
    std::mt19937 random(7);
    int cases = 0;
    for (double zeta : {0.1, 0.3, 0.5, 0.7, 0.9})
        for (double wn : {1.0, 3.0, 10.0})
            for (double rate : {50.0, 250.0, 500.0})
                for (bool noisy : {false, true}) {
                    // Alternately on an offset with a negative step and plain.
                    const double offset = cases % 2 ? 100.0 : 0.0;
                    const double gain = cases % 2 ? -2.5 : 1.0;
                    ++cases;
                    const double at = 1.0;  // the step, after a second at rest
                    const double length = at + 12 / (zeta * wn) + 2;  // settled to 1e-5
                    auto y = [&](double t) { return SecondOrder(zeta, wn, t); };
                    std::normal_distribution<double> noise(0, 0.003 * std::fabs(gain));
                    std::vector<double> v(size_t(length * rate));
                    for (size_t i = 0; i < v.size(); ++i)
                        v[i] =
                            offset + gain * y(double(i) / rate - at) + (noisy ? noise(random) : 0);
                    StepOptions options;
                    options.at = at;
                    StepResult r;
                    std::string err;
                    ASSERT_TRUE(AnalyzeStep(Window(v, rate), options, &r, &err)) << err;

                    const double end = length - at;
                    const double t10 = FirstReach(y, 0.1, end), t50 = FirstReach(y, 0.5, end),
                                 t90 = FirstReach(y, 0.9, end);
                    const double overshoot =
                        100 * std::exp(-kPi * zeta / std::sqrt(1 - zeta * zeta));
                    const double settling = LastExit(y, 0.02, end);
                    const double dt = 1 / rate;
                    SCOPED_TRACE(testing::Message() << "zeta " << zeta << " wn " << wn << " rate "
                                                    << rate << (noisy ? " noisy" : ""));
                    EXPECT_NEAR(r.step, gain, noisy ? 0.01 * std::fabs(gain) : 1e-3);
                    EXPECT_NEAR(r.overshoot_pct, overshoot, noisy ? 1.0 : 0.1);
                    EXPECT_NEAR(r.rise_time, t90 - t10, noisy ? 3 * dt : dt);
                    EXPECT_NEAR(r.delay_time, t50, noisy ? 3 * dt : dt);
                    ASSERT_TRUE(r.settling_time.has_value());
                    // With noise too where an extreme grazes the band's edge: at zeta
                    // 0.3 the fourth is 0.08 % of the step inside it.
                    EXPECT_NEAR(*r.settling_time, settling, noisy ? 0.05 * settling : dt);
                    if (!noisy && overshoot > 1) {
                        EXPECT_NEAR(*r.damping_ratio_est, zeta, 0.01);
                    }
                }
}

TEST(StepResponse, FindsTheStepAndSaysWhenItDoesNotSettle) {
    // Without a given instant: the first sample more than 2 % of the step away.
    const double rate = 100, wn = 3, zeta = 0.5;
    std::vector<double> v(1000);
    for (size_t i = 0; i < v.size(); ++i) v[i] = 5 + SecondOrder(zeta, wn, double(i) / rate - 2);
    size_t first = 0;
    while (!(v[first] - 5 > 0.02)) ++first;
    StepResult r;
    ASSERT_TRUE(AnalyzeStep(Window(v, rate, 10), {}, &r, nullptr));
    EXPECT_DOUBLE_EQ(r.t0, 10 + double(first) / rate);
    double before = 0;
    for (size_t i = 0; i < first; ++i) before += v[i];
    EXPECT_DOUBLE_EQ(r.initial, before / double(first));

    // Cut off while it still swings outside a 0.5 % band.
    v.resize(400);
    StepOptions tight;
    tight.band_pct = 0.5;
    ASSERT_TRUE(AnalyzeStep(Window(v, rate), tight, &r, nullptr));
    EXPECT_FALSE(r.settling_time.has_value());

    // With noise: a 2 Hz ring-down still 14 % wide when the window ends 18 s after the step
    // (the fit's reading), and a swing that grows (the samples'), are not settled either,
    // wherever the last sample falls in their swing.
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0, 0.003);
    for (double growth : {-0.1, 0.05}) {
        v.resize(2000);
        for (size_t i = 0; i < v.size(); ++i) {
            const double t = double(i) / rate - 2;
            v[i] = (t > 0 ? 1 - std::exp(growth * t) * std::cos(12.57 * t) : 0) + noise(random);
        }
        SCOPED_TRACE(growth);
        StepOptions at;
        at.at = 2;
        ASSERT_TRUE(AnalyzeStep(Window(v, rate), at, &r, nullptr));
        EXPECT_FALSE(r.settling_time.has_value());
    }
}

struct Ring {
    double f, zeta, amplitude;
};

std::vector<double> RingDown(const std::vector<Ring>& modes, double rate, double seconds,
                             double noise_sd, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, noise_sd);
    std::vector<double> v(size_t(rate * seconds));
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / rate;
        v[i] = 300 + noise(random);  // on an offset, as active power is
        for (const Ring& m : modes) {
            const double wn = 2 * kPi * m.f / std::sqrt(1 - m.zeta * m.zeta);
            v[i] += m.amplitude * std::exp(-m.zeta * wn * t) * std::cos(2 * kPi * m.f * t + 0.4);
        }
    }
    return v;
}

TEST(OscillationModes, FrequencyAndDampingOfRingDowns) {
    struct Case {
        std::vector<Ring> modes;
        double rate, seconds;
    } cases[] = {
        {{{1.0, 0.1, 10}}, 50, 10},
        {{{1.0, 0.1, 10}}, 500, 10},
        {{{0.2, 0.05, 10}}, 50, 20},
        {{{0.5, 0.02, 10}}, 500, 20},
        {{{3.0, 0.3, 10}}, 500, 5},
        {{{2.0, 0.2, 10}}, 166.7, 5},
        {{{0.8, 0.1, 10}, {1.7, 0.05, 6}}, 250, 15},
    };
    for (const Case& c : cases) {
        const auto v = RingDown(c.modes, c.rate, c.seconds, 0.01 * c.modes[0].amplitude, 3);
        OscillationResult r;
        std::string err;
        ASSERT_TRUE(AnalyzeOscillation(Window(v, c.rate), {}, &r, &err)) << err;
        for (const Ring& want : c.modes) {
            SCOPED_TRACE(testing::Message() << want.f << " Hz at " << c.rate << " Hz");
            const OscillationMode* found = nullptr;
            for (const auto& m : r.modes)
                if (std::fabs(m.frequency_hz - want.f) < 0.01 * want.f) found = &m;
            ASSERT_NE(found, nullptr);
            EXPECT_NEAR(found->damping_ratio, want.zeta, 0.01);
        }
        EXPECT_NEAR(r.modes[0].amplitude, c.modes[0].amplitude, 0.05 * c.modes[0].amplitude);
        // The cross-check needs three peaks clear of the noise: lightly damped modes.
        if (c.modes[0].zeta <= 0.1) {
            ASSERT_TRUE(r.log_decrement.has_value()) << c.modes[0].f;
            EXPECT_NEAR(r.log_decrement->frequency_hz, c.modes[0].f, 0.02 * c.modes[0].f);
            EXPECT_NEAR(r.log_decrement->damping_ratio, c.modes[0].zeta, 0.02) << c.modes[0].f;
        }
        // The fit draws the signal.
        EXPECT_NEAR(FittedValue(r, 0.5), v[size_t(0.5 * c.rate)], 0.05 * c.modes[0].amplitude);
    }
}

TEST(Spectrum, SineFrequencyAndAmplitudeBetweenBins) {
    for (size_t n : {5000u, 4999u, 777u}) {
        const double rate = 500, f = 12.34, a = 3.5;
        std::vector<double> v(n);
        for (size_t i = 0; i < n; ++i)
            v[i] = 7 + 0.01 * double(i) + a * std::sin(2 * kPi * f * double(i) / rate + 1);
        SpectrumResult r;
        ASSERT_TRUE(AnalyzeSpectrum(Window(v, rate), {}, &r, nullptr));
        ASSERT_FALSE(r.peaks.empty());
        EXPECT_NEAR(r.peaks[0].frequency_hz, f, 0.1 * r.resolution_hz) << n;
        EXPECT_NEAR(r.peaks[0].amplitude, a, 0.01 * a) << n;
        EXPECT_EQ(r.amplitude.size(), r.samples / 2 + 1);
        EXPECT_DOUBLE_EQ(r.resolution_hz, rate / double(r.samples));
    }
}

TEST(Analyses, BadWindowsGiveAMessageAndNoNumbers) {
    std::vector<double> ramp(100), flat(100, 4.0), nan(100, 1.0), tiny(19, 1.0), noisy(400);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = i < 50 ? 0 : 1;
    nan[30] = NAN;
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0, 1);
    for (size_t i = 0; i < noisy.size(); ++i) noisy[i] = noise(random) + (i < 200 ? 0 : 0.5);
    StepOptions at_start, band;
    at_start.at = 0;
    band.band_pct = 100;
    struct Case {
        const std::vector<double>* v;
        StepOptions options;
        const char* message;
    } cases[] = {
        {&tiny, {}, "Too few samples to analyse: 19 (at least 20)"},
        {&nan, {}, "Not a number at 0.300000 s"},
        {&flat, {}, "The signal is constant: there is no step"},
        {&ramp, at_start, "No samples before the step at 0.000000 s"},
        {&ramp, band, "The settling band must lie between 0 and 100 %"},
    };
    for (const Case& c : cases) {
        std::string err;
        StepResult r;
        EXPECT_FALSE(AnalyzeStep(Window(*c.v, 100), c.options, &r, &err));
        EXPECT_EQ(err, c.message);
    }
    std::string err;
    StepResult r;
    StepOptions mid;
    mid.at = 2.0;
    EXPECT_FALSE(AnalyzeStep(Window(noisy, 100), mid, &r, &err));
    EXPECT_EQ(err.rfind("The step (", 0), 0u) << err;
    EXPECT_NE(err.find(") is smaller than the noise (5 sd = "), std::string::npos) << err;

    OscillationResult o;
    SpectrumResult s;
    EXPECT_FALSE(AnalyzeOscillation(Window(flat, 100), {}, &o, &err));
    EXPECT_EQ(err, "The signal is constant: there is nothing to fit");
    EXPECT_FALSE(AnalyzeOscillation(Window(nan, 100), {}, &o, &err));
    EXPECT_FALSE(AnalyzeSpectrum(Window(tiny, 100), {}, &s, &err));
    EXPECT_EQ(err, "Too few samples to analyse: 19 (at least 20)");
}

}  // namespace
}  // namespace korvex
