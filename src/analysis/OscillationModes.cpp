// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/OscillationModes.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

#include "app/ErrorReport.h"
#include "app/Language.h"

namespace korvex {
namespace {

using cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;
// Samples the pencil works on at most: its SVD grows with the cube of the length, and
// 800 samples resolve any mode a ring-down shows.
constexpr size_t kPencilSamples = 800;
// Fitted terms at most; more would be fitting the noise.
constexpr Eigen::Index kMaxOrder = 30;

bool Fail(std::string* err_text, const char* text) {
    ReportError(err_text, text);
    return false;
}

// What averaging `blocks` samples `dt` apart does to e^(s t) read at the block's first
// sample: it multiplies it by this.
cd BlockGain(cd s, double dt, size_t block) {
    if (block == 1) return 1.0;
    const cd q = std::exp(s * dt);
    if (std::abs(q - 1.0) < 1e-12) return 1.0;
    return (1.0 - std::pow(q, double(block))) / (double(block) * (1.0 - q));
}

// The model order: the singular values above the noise. Those of a Hankel matrix of white
// noise stay below 1.8 times their median while the signal's terms are fewer than half of
// them; exact data falls to rounding level after its last term.
Eigen::Index ModelOrder(const Eigen::VectorXd& sv) {
    const Eigen::Index n = sv.size();
    if (n == 0 || !(sv(0) > 0)) return 0;
    std::vector<double> sorted(sv.data(), sv.data() + n);
    std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.end());
    const double floor = std::max(2.0 * sorted[size_t(n / 2)], sv(0) * 1e-7);
    Eigen::Index k = 0;
    while (k < n && k < kMaxOrder && sv(k) > floor) ++k;
    return k;
}

// The peaks of `r` (sample values, `dt` apart) near the crests the mode predicts: one per
// period, each the largest sample within a quarter period of its crest, refined by a
// parabola; they stop at the first one that is not clearly above the noise.
std::optional<LogDecrement> PeakDecrement(const std::vector<double>& r, double dt,
                                          const OscillationMode& m, double noise) {
    const double omega = 2 * kPi * m.frequency_hz;
    const double period = 1 / m.frequency_hz;
    const long quarter = std::max(1L, long(period / 4 / dt));
    const double first_crest =
        std::fmod(2 * kPi - std::fmod(m.phase_rad, 2 * kPi), 2 * kPi) / omega;
    std::vector<double> t, lnp;
    for (double crest = first_crest; crest < double(r.size()) * dt; crest += period) {
        const long centre = std::lround(crest / dt);
        const long a = std::max(0L, centre - quarter),
                   b = std::min(long(r.size()) - 1, centre + quarter);
        if (a >= b) continue;
        long p = a;
        for (long i = a; i <= b; ++i)
            if (r[size_t(i)] > r[size_t(p)]) p = i;
        if (p == a || p == b) {
            if (t.empty()) continue;  // a window that opens on a falling flank
            break;
        }
        // The crest's height from a parabola fitted to the samples within an eighth of a
        // period of the largest: the largest sample alone stands on its noise.
        const long half = std::max(1L, quarter / 2);
        const long fa = std::max(0L, p - half), fb = std::min(long(r.size()) - 1, p + half);
        Eigen::MatrixXd q(fb - fa + 1, 3);
        Eigen::VectorXd v(fb - fa + 1);
        for (long i = fa; i <= fb; ++i) {
            const double x = double(i - p) / double(half);
            q.row(i - fa) << 1, x, x * x;
            v(i - fa) = r[size_t(i)];
        }
        const Eigen::Vector3d c = (q.transpose() * q).ldlt().solve(q.transpose() * v);
        const double d = c(2) < 0 ? std::clamp(-c(1) / (2 * c(2)), -1.0, 1.0) : 0.0;
        const double height = c(0) + c(1) * d + c(2) * d * d;
        if (!(height > 5 * noise)) break;
        t.push_back((double(p) + d * double(half)) * dt);
        lnp.push_back(std::log(height));
    }
    if (t.size() < 3) return std::nullopt;
    // ln(peak) against time: its slope is the decay rate, averaged over every peak.
    Eigen::MatrixXd a(Eigen::Index(t.size()), 2);
    Eigen::VectorXd b(Eigen::Index(t.size()));
    for (size_t i = 0; i < t.size(); ++i) {
        a(Eigen::Index(i), 0) = 1;
        a(Eigen::Index(i), 1) = t[i];
        b(Eigen::Index(i)) = lnp[i];
    }
    const Eigen::Vector2d fit = (a.transpose() * a).ldlt().solve(a.transpose() * b);
    LogDecrement ld;
    const double spacing = (t.back() - t.front()) / double(t.size() - 1);
    const double delta = -fit(1) * spacing;
    ld.frequency_hz = 1 / spacing;
    ld.damping_ratio = delta / std::sqrt(4 * kPi * kPi + delta * delta);
    ld.peaks = int(t.size());
    return ld;
}

// The matrix pencil's fit of a window: the samples it saw (block averages of a long
// window, less the window's mean), their poles z and complex amplitudes h.
struct Pencil {
    double mean = 0;
    size_t block = 1, m = 0;
    double dt = 0;
    Eigen::VectorXd x;
    Eigen::VectorXcd z, h;
    Eigen::Index order = 0;
};

bool RunPencil(const SignalWindow& w, size_t max_samples, Pencil* out, std::string* err_text) {
    const size_t n = w.count;
    double mean = 0;
    for (size_t i = 0; i < n; ++i) mean += w.values[i];
    mean /= double(n);
    bool varies = false;
    for (size_t i = 0; i < n && !varies; ++i) varies = w.values[i] != w.values[0];
    if (!varies)
        return Fail(err_text, Tr("Сигнал постоянен: подбирать нечего",
                                 "The signal is constant: there is nothing to fit"));

    // Long windows averaged down in blocks: the average of e^(s t) over a block is
    // e^(s t) again, times a gain, so every pole comes through exactly.
    Pencil& p = *out;
    p.mean = mean;
    p.block = (n + max_samples - 1) / max_samples;
    p.m = n / p.block;
    p.dt = w.step * double(p.block);
    const size_t block = p.block, m = p.m;
    Eigen::VectorXd& x = p.x;
    x.resize(Eigen::Index(m));
    for (size_t k = 0; k < m; ++k) {
        double s = 0;
        for (size_t i = 0; i < block; ++i) s += w.values[k * block + i] - mean;
        x(Eigen::Index(k)) = s / double(block);
    }

    // The matrix pencil: a Hankel matrix of the samples, its dominant right singular
    // vectors, and the shift between their rows, whose eigenvalues are the poles.
    const Eigen::Index len = Eigen::Index(m);
    const Eigen::Index l = std::max<Eigen::Index>(2, len / 3);
    Eigen::MatrixXd y(len - l, l + 1);
    for (Eigen::Index r = 0; r < len - l; ++r)
        for (Eigen::Index c = 0; c <= l; ++c) y(r, c) = x(r + c);
    // The right singular vectors are the eigenvectors of Y'Y and the singular values the
    // roots of its eigenvalues: a symmetric eigenproblem a third the size of Y, whose
    // rounding (about 1e-8 of the largest singular value) lies below the order's floor.
    const Eigen::MatrixXd gram = y.transpose() * y;
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(gram);
    const Eigen::Index cols = gram.cols();
    Eigen::VectorXd sv(cols);  // largest first
    for (Eigen::Index i = 0; i < cols; ++i)
        sv(i) = std::sqrt(std::max(0.0, eig.eigenvalues()(cols - 1 - i)));
    const Eigen::Index order = ModelOrder(sv);
    if (order == 0)
        return Fail(err_text, Tr("В окне нет колебаний", "No oscillation found in the window"));
    p.order = order;
    const Eigen::MatrixXd v = eig.eigenvectors().rightCols(order).rowwise().reverse();
    // The shift between the rows, by least squares: its normal equations, well conditioned
    // as the columns are nearly orthonormal.
    const Eigen::MatrixXd upper = v.topRows(l), lower = v.bottomRows(l);
    const Eigen::MatrixXd shift =
        (upper.transpose() * upper).ldlt().solve(upper.transpose() * lower);
    p.z = Eigen::EigenSolver<Eigen::MatrixXd>(shift, false).eigenvalues();

    // Complex amplitudes by least squares against the averaged samples.
    Eigen::MatrixXcd vander(len, order);
    for (Eigen::Index i = 0; i < order; ++i) {
        cd q = 1.0;
        for (Eigen::Index k = 0; k < len; ++k) {
            vander(k, i) = q;
            q *= p.z(i);
        }
    }
    const Eigen::MatrixXcd vh = vander.adjoint();
    p.h = (vh * vander).ldlt().solve(vh * x.cast<cd>());
    return true;
}

bool Estimate(const SignalWindow& w, const OscillationOptions& options, OscillationResult* out,
              std::string* err_text) {
    Pencil pencil;
    if (!RunPencil(w, kPencilSamples, &pencil, err_text)) return false;
    const size_t n = w.count, block = pencil.block, m = pencil.m;
    const double mean = pencil.mean, dt = pencil.dt;
    const Eigen::VectorXd& x = pencil.x;
    const Eigen::VectorXcd &z = pencil.z, &h = pencil.h;
    const Eigen::Index order = pencil.order;

    OscillationResult r;
    r.offset = mean;
    r.rate_hz = 1 / dt;
    r.order = int(order);
    r.start = w.start;
    const double top = r.rate_hz / 4;  // half the Nyquist frequency of the analysed rate
    std::vector<Eigen::Index> kept;
    std::vector<cd> zs, hs;  // the terms as the averaged samples have them
    for (Eigen::Index i = 0; i < order; ++i) {
        if (!(std::abs(z(i)) > 1e-12)) continue;  // a term gone after its first sample
        const cd s = std::log(z(i)) / dt;
        const cd amp = h(i) / BlockGain(s, w.step, block);  // undone of the averaging
        r.poles.push_back(s);
        r.residues.push_back(amp);
        zs.push_back(z(i));
        hs.push_back(h(i));
        if (s.imag() <= 0) continue;  // a real term, or a pair's other half
        OscillationMode mode;
        mode.frequency_hz = s.imag() / (2 * kPi);
        mode.damping_ratio = -s.real() / std::abs(s);
        mode.amplitude = 2 * std::abs(amp);
        mode.phase_rad = std::arg(amp);
        if (mode.frequency_hz > top || !(std::fabs(mode.damping_ratio) < 1)) continue;
        r.modes.push_back(mode);
        kept.push_back(Eigen::Index(r.poles.size() - 1));
    }
    if (r.modes.empty())
        return Fail(err_text, Tr("В окне нет колебаний", "No oscillation found in the window"));

    std::vector<size_t> byamp(r.modes.size());
    for (size_t j = 0; j < byamp.size(); ++j) byamp[j] = j;
    std::sort(byamp.begin(), byamp.end(),
              [&](size_t a, size_t b) { return r.modes[a].amplitude > r.modes[b].amplitude; });
    const size_t big = byamp[0];

    // Each mode's share of the energy of the window's own samples: the squares of
    // 2 Re(h q^i) sum as two geometric series, 2 |h|^2 sum |q|^2i + 2 Re(h^2 sum q^2i).
    double total = 0;
    for (size_t i = 0; i < n; ++i) total += (w.values[i] - mean) * (w.values[i] - mean);
    auto series = [n](cd ratio) {
        if (std::abs(ratio - 1.0) < 1e-12) return cd(double(n));
        return (1.0 - std::pow(ratio, double(n))) / (1.0 - ratio);
    };
    for (size_t j = 0; j < r.modes.size(); ++j) {
        const cd amp = r.residues[size_t(kept[j])];
        const cd q = std::exp(r.poles[size_t(kept[j])] * w.step);
        const double e = 2 * std::norm(amp) * series(std::norm(q)).real() +
                         2 * (amp * amp * series(q * q)).real();
        r.modes[j].energy_share = total > 0 ? e / total : 0;
    }

    // The cross-check, on the averaged samples (averaging keeps a mode's peak ratios and
    // spacing, and quiets the noise): the signal less every other fitted term, its
    // peaks' decrement.
    const size_t b = size_t(kept[big]);
    std::vector<cd> terms = hs;
    std::vector<double> rest(m);
    double noise = 0;
    for (size_t k = 0; k < m; ++k) {
        cd fit = 0;
        for (size_t i = 0; i < terms.size(); ++i) fit += terms[i];
        const double residual = x(Eigen::Index(k)) - fit.real();
        rest[k] = residual + 2 * terms[b].real();
        noise += residual * residual;
        for (size_t i = 0; i < terms.size(); ++i) terms[i] *= zs[i];
    }
    noise = std::sqrt(noise / double(m));
    OscillationMode crest = r.modes[big];
    crest.phase_rad = std::arg(hs[b]);
    r.log_decrement = PeakDecrement(rest, dt, crest, noise);

    std::vector<OscillationMode> sorted;
    for (size_t j : byamp) sorted.push_back(r.modes[j]);
    if (options.max_modes > 0 && sorted.size() > size_t(options.max_modes))
        sorted.resize(size_t(options.max_modes));
    r.modes = std::move(sorted);
    *out = std::move(r);
    return true;
}

}  // namespace

bool AnalyzeOscillation(const SignalWindow& window, const OscillationOptions& options,
                        OscillationResult* out, std::string* err_text) {
    if (!CheckWindow(window, err_text)) return false;
    try {
        return Estimate(window, options, out, err_text);
    } catch (const std::bad_alloc&) {
        return Fail(err_text, NoMemoryToAnalyseText());
    }
}

bool FitExponentials(const SignalWindow& window, size_t max_samples, ExponentialFit* out,
                     std::string* err_text) {
    if (!CheckWindow(window, err_text)) return false;
    try {
        Pencil p;
        if (!RunPencil(window, std::clamp<size_t>(max_samples, kMinAnalysisSamples, kPencilSamples),
                       &p, err_text))
            return false;
        ExponentialFit fit;
        fit.offset = p.mean;
        fit.start = window.start;
        fit.block = p.block;
        double sq = 0;
        Eigen::VectorXcd terms = p.h;
        for (size_t k = 0; k < p.m; ++k) {
            const double e = p.x(Eigen::Index(k)) - terms.sum().real();
            sq += e * e;
            terms = terms.cwiseProduct(p.z);
        }
        fit.residual_rms = std::sqrt(sq / double(p.m));
        for (Eigen::Index i = 0; i < p.order; ++i) {
            if (!(std::abs(p.z(i)) > 1e-12)) continue;
            const cd s = std::log(p.z(i)) / p.dt;
            fit.poles.push_back(s);
            fit.residues.push_back(p.h(i) / BlockGain(s, window.step, p.block));
        }
        *out = std::move(fit);
        return true;
    } catch (const std::bad_alloc&) {
        return Fail(err_text, NoMemoryToAnalyseText());
    }
}

double FittedValue(const OscillationResult& result, double seconds) {
    cd sum = 0;
    const double t = seconds - result.start;
    for (size_t i = 0; i < result.poles.size(); ++i)
        sum += result.residues[i] * std::exp(result.poles[i] * t);
    return result.offset + sum.real();
}

}  // namespace korvex
