// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/StepResponse.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>
#include <vector>

#include "analysis/OscillationModes.h"
#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"

namespace korvex {
namespace {

struct MeanSd {
    double mean = 0, sd = 0;
};

MeanSd MeanAndSd(const double* y, size_t n) {
    MeanSd r;
    if (n == 0) return r;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += y[i];
    r.mean = sum / double(n);
    double sq = 0;
    for (size_t i = 0; i < n; ++i) sq += (y[i] - r.mean) * (y[i] - r.mean);
    r.sd = n > 1 ? std::sqrt(sq / double(n - 1)) : 0.0;
    return r;
}

// The centred moving average of `width` (odd) samples; near the ends the window shrinks
// to stay centred, so that no end is dragged towards its neighbours. Into `z`, whose
// memory a second average reuses: fresh pages for an hour's window cost more than the sums.
void CentredAverage(const double* y, size_t n, size_t width, std::vector<double>& z) {
    z.resize(n);
    const size_t half = width / 2;
    // A running sum over [i - h, i + h]; h grows from 0 at the start and shrinks again at
    // the end, where the window has no room.
    double sum = 0;
    size_t lo = 0, hi = 0;  // the sum covers [lo, hi)
    for (size_t i = 0; i < n; ++i) {
        const size_t h = std::min({half, i, n - 1 - i});
        while (hi < i + h + 1) sum += y[hi++];
        while (hi > i + h + 1) sum -= y[--hi];
        while (lo < i - h) sum -= y[lo++];
        z[i] = sum / double(2 * h + 1);
    }
}

// The first crossing of `level` at or after sample `from`, going in direction `sign`,
// interpolated between the samples either side; NaN when there is none.
double FirstCrossing(const double* z, size_t n, size_t from, double level, double sign) {
    for (size_t i = from; i < n; ++i) {
        if (sign * (z[i] - level) < 0) continue;
        if (i == 0 || z[i] == z[i - 1]) return double(i);
        const double f = (level - z[i - 1]) / (z[i] - z[i - 1]);
        return double(i - 1) + std::clamp(f, 0.0, 1.0);
    }
    return NAN;
}

const char* ConstantText() {
    return Tr("Сигнал постоянен: скачка нет", "The signal is constant: there is no step");
}

bool Fail(std::string* err_text, const std::string& text) {
    ReportError(err_text, text);
    return false;
}

// The first sample of the step when none is given: the first whose deviation from the
// level before it exceeds max(5 sd of the noise, 2 % of the step). The noise is read from
// the differences of successive samples (their median, which a step's few large ones do
// not move); the level from the window's first tenth, halved until those samples vary no
// more than the noise does, so that a step inside it does not lift the level.
bool FindStep(const double* y, size_t n, size_t* first, std::string* err_text) {
    // Sixty thousand differences spread over the window tell the median well enough.
    const size_t stride = std::max<size_t>(1, n / 60000);
    std::vector<double> diff;
    diff.reserve(n / stride + 1);
    for (size_t i = 0; i + 1 < n; i += stride) diff.push_back(std::fabs(y[i + 1] - y[i]));
    std::nth_element(diff.begin(), diff.begin() + long(diff.size() / 2), diff.end());
    const double noise = diff[diff.size() / 2] / 0.954;  // median |N(0, 2 sd²)| = 0.954 sd
    size_t ref = std::max<size_t>(5, n / 10);
    MeanSd pre = MeanAndSd(y, ref);
    while (ref > 2 && pre.sd > 3 * noise) pre = MeanAndSd(y, ref /= 2);
    const size_t tail = std::max<size_t>(1, n / 10);
    const double step = MeanAndSd(y + n - tail, tail).mean - pre.mean;
    const double threshold = std::max(5 * noise, 0.02 * std::fabs(step));
    size_t i = 0;
    while (i < n && !(std::fabs(y[i] - pre.mean) > threshold)) ++i;
    if (i == n)
        return Fail(err_text,
                    threshold > 0
                        ? StrPrintf(Tr("Скачок (%g) меньше шума (5 СКО = %g)",
                                       "The step (%g) is smaller than the noise (5 sd = %g)"),
                                    step, 5 * noise)
                        : std::string(ConstantText()));
    *first = i;
    return true;
}

// The last exit from the band of a noisy response that swings beyond it, read off the
// response fitted from the step on as a sum of damped exponentials (the oscillation
// analysis's matrix pencil). Where an extreme grazes the band's edge, the few samples
// around it cannot tell it from the noise; the fit weighs every sample of the response,
// the rise included. The terms that decay within the window are the transient; the rest
// must move by at most half the band over the window and is the level the transient
// settles to. False, and the averaged samples decide, when the fit does not explain the
// samples down to their noise, its level is not the final value, a swing does not die
// out or a creep does not stop within the window, or a window cut short (`to` before the
// window's end) ends unsettled. *out empty: not settled.
bool FittedSettling(const SignalWindow& w, size_t from, size_t to, const StepResult& r, double band,
                    std::optional<double>* out) {
    using cd = std::complex<double>;
    if (to > w.count || from >= to || to - from < 4 * kMinAnalysisSamples) return false;
    const SignalWindow tail{w.values + from, to - from, w.step, w.TimeAt(double(from))};
    ExponentialFit fit;
    std::string ignored;
    // 400 samples resolve the swings of a response spanning its settling time twice, at an
    // eighth of the cost of the oscillation analysis's 800.
    if (!FitExponentials(tail, 400, &fit, &ignored)) return false;
    // What the fit leaves is the noise, averaged over its blocks, and little else: a model
    // error of a quarter of the band would move the exits it reads.
    const double noise = r.noise_sd / std::sqrt(double(fit.block));
    const double rms = fit.residual_rms;
    if (!(rms <= 1.5 * noise) || std::sqrt(std::max(0.0, rms * rms - noise * noise)) > band / 4)
        return false;
    // Each conjugate pair once (the upper half, doubled), as the oscillation analysis
    // counts its modes.
    const double span = tail.end() - tail.start;
    struct Term {
        cd s, h;  // the pole, and twice the residue for a pair
    };
    std::vector<Term> transient;
    double level = fit.offset;  // the level at the window's end
    for (size_t i = 0; i < fit.poles.size(); ++i) {
        const cd s = fit.poles[i];
        if (s.imag() < 0) continue;
        const cd h = fit.residues[i] * (s.imag() > 0 ? 2.0 : 1.0);
        if (s.real() < -1 / span) {
            transient.push_back({s, h});
            continue;
        }
        // Not decaying within the window: its largest excursion over it must be a small
        // part of the band (a drift the fit took from the noise), else the window has not
        // seen the response settle.
        const double growth = std::exp(s.real() * span);
        const double excursion =
            std::abs(h) * (s.imag() > 0 ? std::max(1.0, growth) : std::fabs(1 - growth));
        if (!(excursion <= band / 2)) return false;
        level += (h * std::exp(s * span)).real();
    }
    if (transient.empty() || !(std::fabs(level - r.final_value) <= band / 4)) return false;
    auto at = [&](double t) {
        double sum = 0;
        for (const Term& term : transient)
            sum += (term.h * std::exp(term.s * (t - tail.start))).real();
        return sum;
    };
    // The last sample outside, stepping each term on by its pole; past the point where
    // the terms' magnitudes together fall within the band nothing can leave it again.
    std::vector<cd> value(transient.size()), q(transient.size());
    for (size_t i = 0; i < transient.size(); ++i) {
        value[i] = transient[i].h;
        q[i] = std::exp(transient[i].s * w.step);
    }
    size_t last = tail.count;
    bool within = false;
    for (size_t k = 0; k < tail.count; ++k) {
        double sum = 0;
        for (size_t i = 0; i < value.size(); ++i) sum += value[i].real();
        if (std::fabs(sum) > band) last = k;
        if (k % 64 == 0) {
            double envelope = 0;
            for (const cd& v : value) envelope += std::abs(v);
            if (envelope <= band) {
                within = true;
                break;
            }
        }
        for (size_t i = 0; i < value.size(); ++i) value[i] *= q[i];
    }
    if (last == tail.count) return false;  // the fit never leaves the band the peak left
    if (!within) {
        double envelope = 0;
        for (const cd& v : value) envelope += std::abs(v);
        within = envelope <= band;
    }
    if (!within) {
        // Still swinging wider than the band at the end, though the last sample may lie
        // near one of its zero crossings.
        if (to < w.count) return false;  // the cut, not the recording, ends there
        out->reset();
        return true;
    }
    if (last + 1 >= tail.count) return false;
    double a = tail.TimeAt(double(last)), b = tail.TimeAt(double(last + 1));
    for (int i = 0; i < 50; ++i) {
        const double m = 0.5 * (a + b);
        (std::fabs(at(m)) > band ? a : b) = m;
    }
    *out = 0.5 * (a + b) - r.t0;
    return true;
}

}  // namespace

bool AnalyzeStep(const SignalWindow& w, const StepOptions& options, StepResult* out,
                 std::string* err_text) {
    if (!CheckWindow(w, err_text)) return false;
    if (!(options.band_pct > 0 && options.band_pct < 100))
        return Fail(err_text, Tr("Зона установления должна быть между 0 и 100 %",
                                 "The settling band must lie between 0 and 100 %"));
    const double* y = w.values;
    const size_t n = w.count;
    const auto [lo, hi] = std::minmax_element(y, y + n);
    if (*lo == *hi) return Fail(err_text, ConstantText());

    StepResult r;
    size_t i0 = 0;  // the first sample at or after the step
    if (options.at) {
        const double at = *options.at;
        if (!(at >= w.start && at <= w.end()))
            return Fail(err_text, StrPrintf(Tr("Момент скачка %.6f с вне окна",
                                               "The step instant %.6f s lies outside the window"),
                                            at));
        i0 = size_t(std::ceil((at - w.start) / w.step - 1e-9));
        r.t0 = at;
    } else {
        if (!FindStep(y, n, &i0, err_text)) return false;
        r.t0 = w.TimeAt(double(i0));
    }
    if (i0 == 0)
        return Fail(err_text, StrPrintf(Tr("Нет отсчётов до скачка в %.6f с",
                                           "No samples before the step at %.6f s"),
                                        r.t0));
    if (i0 >= n - 1)
        return Fail(err_text, StrPrintf(Tr("Нет отсчётов после скачка в %.6f с",
                                           "No samples after the step at %.6f s"),
                                        r.t0));

    const MeanSd pre = MeanAndSd(y, i0);
    r.initial = pre.mean;
    r.noise_sd = pre.sd;
    const size_t after = n - i0;
    const size_t tail = std::max<size_t>(1, after / 10);
    r.final_value = MeanAndSd(y + n - tail, tail).mean;
    r.step = r.final_value - r.initial;
    const double size = std::fabs(r.step);
    if (size == 0) return Fail(err_text, ConstantText());
    if (size <= 5 * r.noise_sd)
        return Fail(err_text, StrPrintf(Tr("Скачок (%g) меньше шума (5 СКО = %g)",
                                           "The step (%g) is smaller than the noise (5 sd = %g)"),
                                        r.step, 5 * r.noise_sd));
    const double sign = r.step > 0 ? 1.0 : -1.0;
    auto level = [&](double fraction) { return r.initial + fraction * r.step; };

    // With noise, the first crossing of a level is the first noise peak that reaches it.
    // A centred average a tenth of the rise long takes the noise down by the square root
    // of its width and moves no crossing of a response that is nearly straight over it.
    r.smoothing = 1;
    if (r.noise_sd > 1e-9 * size) {
        const double c10 = FirstCrossing(y, n, i0, level(0.1), sign);
        const double c90 = FirstCrossing(y, n, i0, level(0.9), sign);
        if (std::isfinite(c10) && std::isfinite(c90) && c90 > c10)
            r.smoothing = std::max<size_t>(1, size_t((c90 - c10) / 10)) | 1;
    }
    std::vector<double> smoothed;
    const double* z = y;
    if (r.smoothing > 1) {
        CentredAverage(y, n, r.smoothing, smoothed);
        z = smoothed.data();
    }

    // With noise, each crossing is then read off a quadratic fitted by least squares to
    // the samples around it, twice the average's width: free of the average's lag on a
    // curving response, and quieter still.
    auto crossing = [&](double fraction) {
        const double c = FirstCrossing(z, n, i0, level(fraction), sign);
        if (r.smoothing == 1 || !std::isfinite(c)) return c;
        const long centre = std::lround(c), half = long(r.smoothing);
        const long a = std::max(0L, centre - half), b = std::min(long(n) - 1, centre + half);
        Eigen::MatrixXd m(b - a + 1, 3);
        Eigen::VectorXd v(b - a + 1);
        for (long i = a; i <= b; ++i) {
            const double x = double(i - centre) / double(half);
            m.row(i - a) << 1, x, x * x;
            v(i - a) = y[i] - level(fraction);
        }
        const Eigen::Vector3d q = (m.transpose() * m).ldlt().solve(m.transpose() * v);
        // The root of q0 + q1 x + q2 x^2 nearest the average's crossing.
        const double disc = q(1) * q(1) - 4 * q(2) * q(0);
        if (q(1) == 0 || disc < 0) return c;
        const double x = std::fabs(q(2)) < 1e-12 * std::fabs(q(1))
                             ? -q(0) / q(1)
                             : (-q(1) + (q(1) > 0 ? 1 : -1) * std::sqrt(disc)) / (2 * q(2));
        const double root = double(centre) + x * double(half);
        return std::fabs(root - c) <= double(half) ? root : c;
    };
    const double c10 = crossing(0.1), c50 = crossing(0.5), c90 = crossing(0.9);
    if (!std::isfinite(c90))
        return Fail(err_text, Tr("Отклик не достигает 90 % скачка",
                                 "The response does not reach 90 % of the step"));
    r.t10 = w.TimeAt(c10);
    r.t50 = w.TimeAt(c50);
    r.t90 = w.TimeAt(c90);
    r.rise_time = r.t90 - r.t10;
    r.delay_time = r.t50 - r.t0;

    // The peak, between samples: the vertex of the parabola through the extreme sample and
    // its neighbours, so that a sampled peak reads its height, not the nearest sample's.
    size_t p = i0;
    for (size_t i = i0; i < n; ++i)
        if (sign * z[i] > sign * z[p]) p = i;
    double peak = z[p], peak_at = double(p);
    const size_t reach = (p - i0) / 4;  // a quarter of the way from the step to the peak
    if (r.noise_sd > 1e-9 * size && reach >= 2 && p + reach < n) {
        // With noise, the largest sample stands on its noise: the peak is the vertex of a
        // parabola fitted to the raw samples around it, over half of its rise.
        const long h = long(reach);
        Eigen::MatrixXd m(2 * h + 1, 3);
        Eigen::VectorXd v(2 * h + 1);
        for (long k = -h; k <= h; ++k) {
            const double x = double(k) / double(h);
            m.row(k + h) << 1, x, x * x;
            v(k + h) = y[long(p) + k];
        }
        const Eigen::Vector3d q = (m.transpose() * m).ldlt().solve(m.transpose() * v);
        if (sign * q(2) < 0) {
            const double d = std::clamp(-q(1) / (2 * q(2)), -1.0, 1.0);
            peak = q(0) + q(1) * d + q(2) * d * d;
            peak_at += d * double(h);
        }
    } else if (p > i0 && p + 1 < n) {
        const double a = z[p - 1], b = z[p], c = z[p + 1];
        const double den = a - 2 * b + c;
        if (den != 0) {
            const double d = std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
            peak = b - 0.25 * (a - c) * d;
            peak_at += d;
        }
    }
    r.peak = peak;
    r.peak_time = w.TimeAt(peak_at) - r.t0;
    r.overshoot_pct = std::max(0.0, 100 * (peak - r.final_value) / r.step);
    if (r.overshoot_pct > 0 && r.overshoot_pct < 100) {
        const double ln_m = std::log(r.overshoot_pct / 100);
        r.damping_ratio_est = -ln_m / std::sqrt(std::numbers::pi * std::numbers::pi + ln_m * ln_m);
    }

    // Settling: the last sample outside the band, and where the signal crosses into it.
    // An oscillating response leaves the band at its extremes, where a small excursion
    // beyond the edge and the noise are alike: there the average spans an eighth of the
    // period (twice the peak time), which keeps 97 % of the swing and takes the noise down
    // further.
    if (r.smoothing > 1 && r.overshoot_pct > options.band_pct) {
        const size_t wide = size_t(2 * r.peak_time / w.step / 8) | 1;
        if (wide > r.smoothing) {
            CentredAverage(y, n, wide, smoothed);
            z = smoothed.data();
        }
    }
    r.band_pct = options.band_pct;
    const double band = options.band_pct / 100 * size;
    size_t j = n;
    for (size_t i = n; i-- > i0;)
        if (std::fabs(z[i] - r.final_value) > band) {
            j = i;
            break;
        }
    if (j == n) {
        r.settling_time = 0.0;
    } else if (j + 1 < n) {
        const double edge = r.final_value + (z[j] > r.final_value ? band : -band);
        const double f = std::clamp((edge - z[j]) / (z[j + 1] - z[j]), 0.0, 1.0);
        r.settling_time = w.TimeAt(double(j) + f) - r.t0;
    }
    if (r.noise_sd > 1e-9 * size && r.overshoot_pct > options.band_pct) {
        // The fit spans the response up to twice the settling the samples suggest: a
        // long window after it would only average its swings away and cost time.
        size_t to = n;
        if (r.settling_time && *r.settling_time > 0)
            to = std::min(n, i0 + size_t(2 * *r.settling_time / w.step) + kMinAnalysisSamples);
        std::optional<double> fitted;
        if (FittedSettling(w, i0, to, r, band, &fitted)) r.settling_time = fitted;
    }
    *out = r;
    return true;
}

}  // namespace korvex
