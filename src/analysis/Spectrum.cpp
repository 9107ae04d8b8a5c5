// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/Spectrum.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <complex>
#include <new>
#include <numbers>
#include <unsupported/Eigen/FFT>

#include "app/ErrorReport.h"
#include "app/Language.h"

namespace korvex {
namespace {

// The largest length up to n with no prime factor above 5: the transform's radices.
size_t SmoothLength(size_t n) {
    size_t best = 1;
    for (size_t p2 = 1; p2 <= n; p2 *= 2)
        for (size_t p3 = p2; p3 <= n; p3 *= 3)
            for (size_t p5 = p3; p5 <= n; p5 *= 5) best = std::max(best, p5);
    return best;
}

bool Transform(const SignalWindow& w, const SpectrumOptions& options, SpectrumResult* out) {
    const size_t n = SmoothLength(w.count);
    // The straight line through the samples, by least squares, taken off first: a drift
    // would otherwise leak into every low bin. Its normal equations in x from -1 to 1 come
    // from four sums, which saves a matrix as long as the window.
    const double* v = w.values;
    const double half = double(n - 1) / 2;
    double sx2 = 0, sy = 0, sxy = 0;
    for (size_t i = 0; i < n; ++i) {
        const double x = half > 0 ? (double(i) - half) / half : 0.0;
        sx2 += x * x;
        sy += v[i];
        sxy += x * v[i];
    }
    Eigen::Matrix2d normal;
    normal << double(n), 0, 0, sx2;  // the x are symmetric about 0: no cross term
    const Eigen::Vector2d line = normal.ldlt().solve(Eigen::Vector2d(sy, sxy));

    // Hann window, its cosine turned on by a fixed rotation rather than computed afresh;
    // its mean (0.5 for a long window) scales a bin back to the sine's amplitude.
    std::vector<double> in(n);
    double gain = 0;
    const double turn = 2 * std::numbers::pi / double(n);
    const std::complex<double> rotate(std::cos(turn), std::sin(turn));
    std::complex<double> phase = 1.0;
    for (size_t i = 0; i < n; ++i) {
        const double h = 0.5 - 0.5 * phase.real();
        const double x = half > 0 ? (double(i) - half) / half : 0.0;
        in[i] = (v[i] - line(0) - line(1) * x) * h;
        gain += h;
        phase *= rotate;
    }
    Eigen::FFT<double> fft;
    fft.SetFlag(Eigen::FFT<double>::HalfSpectrum);
    std::vector<std::complex<double>> bins;
    fft.fwd(bins, in);
    bins.resize(n / 2 + 1);

    SpectrumResult r;
    r.samples = n;
    r.resolution_hz = 1 / (w.step * double(n));
    r.amplitude.resize(bins.size());
    for (size_t k = 0; k < bins.size(); ++k)
        r.amplitude[k] = std::abs(bins[k]) * (k == 0 || 2 * k == n ? 1.0 : 2.0) / gain;

    // Peaks: local maxima above 3 % of the largest (the Hann window's side lobes stay
    // below 2.5 %) and above ten times the median bin (the noise floor).
    const auto& m = r.amplitude;
    std::vector<double> sorted(m.begin(), m.end());
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double floor = 10 * sorted[sorted.size() / 2];
    double top = 0;
    for (size_t k = 1; k + 1 < m.size(); ++k) top = std::max(top, m[k]);
    for (size_t k = 1; k + 1 < m.size(); ++k) {
        if (!(m[k] > m[k - 1] && m[k] >= m[k + 1] && m[k] >= 0.03 * top && m[k] > floor)) continue;
        // A sine's Hann lobe: the larger neighbour's ratio gives the offset from the bin,
        // d = (2 a - 1) / (a + 1), and the lobe's height there the amplitude.
        const bool right = m[k + 1] > m[k - 1];
        const double ratio = (right ? m[k + 1] : m[k - 1]) / m[k];
        double d = (2 * ratio - 1) / (ratio + 1);
        d = std::clamp(d, 0.0, 1.0) * (right ? 1 : -1);
        const double pd = std::numbers::pi * d;
        const double lobe = std::fabs(d) < 1e-9 ? 1.0 : std::sin(pd) / (pd * (1 - d * d));
        r.peaks.push_back({(double(k) + d) * r.resolution_hz, m[k] / std::fabs(lobe)});
    }
    std::sort(r.peaks.begin(), r.peaks.end(), [](const SpectrumPeak& a, const SpectrumPeak& b) {
        return a.amplitude > b.amplitude;
    });
    if (options.max_peaks > 0 && r.peaks.size() > size_t(options.max_peaks))
        r.peaks.resize(size_t(options.max_peaks));
    *out = std::move(r);
    return true;
}

}  // namespace

bool AnalyzeSpectrum(const SignalWindow& window, const SpectrumOptions& options,
                     SpectrumResult* out, std::string* err_text) {
    if (!CheckWindow(window, err_text)) return false;
    try {
        return Transform(window, options, out);
    } catch (const std::bad_alloc&) {
        ReportError(err_text, NoMemoryToAnalyseText());
        return false;
    }
}

}  // namespace korvex
