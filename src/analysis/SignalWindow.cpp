// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SignalWindow.h"

#include <cmath>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"

namespace korvex {

int FindChannel(const RecordingInfo& info, std::string_view name_or_number) {
    for (size_t c = 0; c < info.names.size(); ++c)
        if (info.names[c] == name_or_number) return int(c);
    // A number only when no channel has that name: "3" may well be a channel's name.
    if (name_or_number.empty() || name_or_number.size() > 9) return -1;
    int n = 0;
    for (char ch : name_or_number) {
        if (ch < '0' || ch > '9') return -1;
        n = n * 10 + (ch - '0');
    }
    return n >= 1 && n <= info.channels ? n - 1 : -1;
}

SignalWindow ChannelWindow(const RecordingData& data, int channel, size_t begin, size_t end) {
    SignalWindow w;
    if (end > data.rows()) end = data.rows();
    if (channel < 0 || channel >= data.channels() || begin >= end) return w;
    w.values = data.column(channel) + begin;
    w.count = end - begin;
    w.step = data.step();
    w.start = data.time(begin);
    return w;
}

bool CheckWindow(const SignalWindow& window, std::string* err_text) {
    if (window.count < kMinAnalysisSamples) {
        ReportError(err_text, StrPrintf(Tr("Слишком мало отсчётов для анализа: %zu (нужно не "
                                           "меньше %zu)",
                                           "Too few samples to analyse: %zu (at least %zu)"),
                                        window.count, kMinAnalysisSamples));
        return false;
    }
    if (!(window.step > 0) || !std::isfinite(window.step)) {
        ReportError(err_text, Tr("Шаг времени записи не положителен",
                                 "The recording's time step is not positive"));
        return false;
    }
    for (size_t i = 0; i < window.count; ++i)
        if (!std::isfinite(window.values[i])) {
            ReportError(err_text, StrPrintf(Tr("Не число в %.6f с", "Not a number at %.6f s"),
                                            window.TimeAt(double(i))));
            return false;
        }
    return true;
}

const char* NoMemoryToAnalyseText() {
    return Tr("Недостаточно памяти для анализа", "Not enough memory to analyse");
}

}  // namespace korvex
