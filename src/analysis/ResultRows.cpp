// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ResultRows.h"

#include <charconv>
#include <cmath>

#include "app/Language.h"
#include "app/StrPrintf.h"

namespace korvex {
namespace {

const char* Sec() {
    return Tr("с", "s");
}
const char* Hz() {
    return Tr("Гц", "Hz");
}

std::string Seconds(double s) {
    return StrPrintf("%.4f %s", s, Sec());
}

// The shortest text that reads back as the same double; null for what is no number.
std::string Num(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string Num(const std::optional<double>& v) {
    return v ? Num(*v) : "null";
}

}  // namespace

std::vector<ResultRow> StepRows(const StepResult& r) {
    std::vector<ResultRow> rows = {
        {Tr("Момент скачка t0", "Step instant t0"), Seconds(r.t0)},
        {Tr("Начальное значение", "Initial value"), StrPrintf("%.6g", r.initial)},
        {Tr("Установившееся значение", "Final value"), StrPrintf("%.6g", r.final_value)},
        {Tr("Скачок", "Step"), StrPrintf("%.6g", r.step)},
        {Tr("Время нарастания (10-90 %)", "Rise time (10-90 %)"), Seconds(r.rise_time)},
        {Tr("Время запаздывания (до 50 %)", "Delay time (to 50 %)"), Seconds(r.delay_time)},
        {Tr("Пик", "Peak"), StrPrintf("%.6g", r.peak)},
        {Tr("Время пика (от t0)", "Peak time (from t0)"), Seconds(r.peak_time)},
        {Tr("Перерегулирование", "Overshoot"), StrPrintf("%.2f %%", r.overshoot_pct)},
        {StrPrintf(Tr("Время установления (±%g %%)", "Settling time (±%g %%)"), r.band_pct),
         r.settling_time ? Seconds(*r.settling_time)
                         : std::string(Tr("не установилось", "not settled"))},
        {Tr("Демпфирование ζ (по перерегулированию)", "Damping ratio (from the overshoot)"),
         r.damping_ratio_est
             ? StrPrintf("%.3f", *r.damping_ratio_est)
             : std::string(Tr("≥ 1 (без перерегулирования)", "≥ 1 (no overshoot)"))},
        {Tr("Шум до скачка (СКО)", "Noise before the step (sd)"), StrPrintf("%.3g", r.noise_sd)},
    };
    return rows;
}

std::vector<ResultRow> OscillationRows(const OscillationResult& r) {
    std::vector<ResultRow> rows;
    for (size_t i = 0; i < r.modes.size(); ++i) {
        const OscillationMode& m = r.modes[i];
        rows.push_back({StrPrintf(Tr("Мода %zu", "Mode %zu"), i + 1),
                        StrPrintf(Tr("%.4f Гц, ζ %.4f (%.2f %%), A %.4g, φ %.3f рад, %.1f %% "
                                     "энергии",
                                     "%.4f Hz, ζ %.4f (%.2f %%), A %.4g, φ %.3f rad, %.1f %% "
                                     "of the energy"),
                                  m.frequency_hz, m.damping_ratio, 100 * m.damping_ratio,
                                  m.amplitude, m.phase_rad, 100 * m.energy_share)});
    }
    const auto& ld = r.log_decrement;
    rows.push_back(
        {Tr("Логарифмический декремент (мода 1)", "Log decrement (mode 1)"),
         ld ? StrPrintf(Tr("%.4f Гц, ζ %.4f (%.2f %%), по %d пикам",
                           "%.4f Hz, ζ %.4f (%.2f %%), from %d peaks"),
                        ld->frequency_hz, ld->damping_ratio, 100 * ld->damping_ratio, ld->peaks)
            : std::string(
                  Tr("меньше трёх пиков над шумом", "fewer than three peaks above the noise"))});
    rows.push_back(
        {Tr("Анализ", "Analysed"), StrPrintf(Tr("при %.4g %s, порядок модели %d, смещение %.6g",
                                                "at %.4g %s, model order %d, offset %.6g"),
                                             r.rate_hz, Hz(), r.order, r.offset)});
    return rows;
}

std::vector<ResultRow> SpectrumRows(const SpectrumResult& r) {
    std::vector<ResultRow> rows = {
        {Tr("Разрешение", "Resolution"), StrPrintf("%.6g %s", r.resolution_hz, Hz())},
        {Tr("Отсчётов", "Samples"), StrPrintf("%zu", r.samples)},
    };
    for (size_t i = 0; i < r.peaks.size(); ++i)
        rows.push_back({StrPrintf(Tr("Пик %zu", "Peak %zu"), i + 1),
                        StrPrintf(Tr("%.4f Гц, амплитуда %.6g", "%.4f Hz, amplitude %.6g"),
                                  r.peaks[i].frequency_hz, r.peaks[i].amplitude)});
    if (r.peaks.empty()) rows.push_back({Tr("Пики", "Peaks"), Tr("нет", "none")});
    return rows;
}

std::string StepJson(const StepResult& r) {
    return "{\"t0\": " + Num(r.t0) + ", \"initial\": " + Num(r.initial) +
           ", \"final\": " + Num(r.final_value) + ", \"step\": " + Num(r.step) +
           ", \"rise_time\": " + Num(r.rise_time) + ", \"delay_time\": " + Num(r.delay_time) +
           ", \"peak\": " + Num(r.peak) + ", \"peak_time\": " + Num(r.peak_time) +
           ", \"overshoot_pct\": " + Num(r.overshoot_pct) +
           ", \"settling_time\": " + Num(r.settling_time) + ", \"band_pct\": " + Num(r.band_pct) +
           ", \"damping_ratio_est\": " + Num(r.damping_ratio_est) + "}\n";
}

std::string OscillationJson(const OscillationResult& r) {
    std::string s = "{\"modes\": [";
    for (size_t i = 0; i < r.modes.size(); ++i) {
        const OscillationMode& m = r.modes[i];
        s += (i ? ", " : "") + std::string("{\"frequency_hz\": ") + Num(m.frequency_hz) +
             ", \"damping_ratio\": " + Num(m.damping_ratio) +
             ", \"amplitude\": " + Num(m.amplitude) + ", \"phase_rad\": " + Num(m.phase_rad) +
             ", \"energy_share\": " + Num(m.energy_share) + "}";
    }
    s += "], \"log_decrement\": ";
    if (r.log_decrement)
        s += "{\"frequency_hz\": " + Num(r.log_decrement->frequency_hz) +
             ", \"damping_ratio\": " + Num(r.log_decrement->damping_ratio) + "}";
    else
        s += "null";
    return s + "}\n";
}

std::string SpectrumJson(const SpectrumResult& r) {
    std::string s = "{\"resolution_hz\": " + Num(r.resolution_hz) + ", \"peaks\": [";
    for (size_t i = 0; i < r.peaks.size(); ++i)
        s += (i ? ", " : "") + std::string("{\"frequency_hz\": ") + Num(r.peaks[i].frequency_hz) +
             ", \"amplitude\": " + Num(r.peaks[i].amplitude) + "}";
    return s + "]}\n";
}

}  // namespace korvex
