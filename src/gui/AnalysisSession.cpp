// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AnalysisSession.h"

#include <algorithm>
#include <exception>
#include <new>
#include <system_error>

#include "app/Language.h"

namespace korvex::gui {

AnalysisResult RunAnalysis(const AnalysisRequest& request, const StopToken* stop) {
    AnalysisResult r;
    r.kind = request.kind;
    r.channel = request.channel;
    r.band_pct = request.band_pct;
    r.samples = request.values.size();
    SignalWindow window;
    window.values = request.values.data();
    window.count = request.values.size();
    window.step = request.step;
    window.start = request.start;
    r.start = window.start;
    r.end = window.end();
    if (StopRequested(stop)) {
        r.error = "Cancelled";  // superseded: never shown
        return r;
    }
    try {
        bool ok = false;
        switch (request.kind) {
            case AnalysisKind::Step: {
                StepOptions options;
                options.band_pct = request.band_pct;
                options.at = request.at;
                ok = AnalyzeStep(window, options, &r.step.emplace(), &r.error);
                break;
            }
            case AnalysisKind::Oscillation: {
                OscillationOptions options;
                options.max_modes = request.max_items;
                OscillationResult& o = r.oscillation.emplace();
                ok = AnalyzeOscillation(window, options, &o, &r.error);
                // The fit drawn over the signal: no more points than the plot has pixels
                // to show them, so its cost does not grow with the window.
                size_t n = std::min(window.count, AnalysisSession::kFitPoints);
                for (size_t i = 0; ok && n > 1 && i < n && !StopRequested(stop); ++i) {
                    double t =
                        window.start + (window.end() - window.start) * double(i) / double(n - 1);
                    r.fit_x.push_back(t);
                    r.fit_y.push_back(FittedValue(o, t));
                }
                break;
            }
            case AnalysisKind::Spectrum: {
                SpectrumOptions options;
                options.max_peaks = request.max_items;
                ok = AnalyzeSpectrum(window, options, &r.spectrum.emplace(), &r.error);
                break;
            }
        }
        if (!ok) {
            r.step.reset();
            r.oscillation.reset();
            r.spectrum.reset();
            r.fit_x.clear();
            r.fit_y.clear();
            if (r.error.empty()) r.error = Tr("Анализ не удался", "The analysis failed");
        }
    } catch (const std::exception&) {
        r.step.reset();
        r.oscillation.reset();
        r.spectrum.reset();
        r.fit_x = std::vector<double>();
        r.fit_y = std::vector<double>();
        r.error = NoMemoryToAnalyseText();
    }
    return r;
}

AnalysisSession::AnalysisSession(QObject* parent) : QObject(parent) {
    qRegisterMetaType<korvex::gui::AnalysisResult>();
}

AnalysisSession::~AnalysisSession() {
    stop_.RequestStop();
    if (worker_.joinable()) worker_.join();
}

uint64_t AnalysisSession::Run(AnalysisRequest request) {
    ++sequence_;
    if (running_) {
        // The running analysis cannot be interrupted; its result will be stale, and the
        // token keeps it from doing more than it has begun.
        stop_.RequestStop();
        pending_ = std::move(request);
    } else {
        Start(std::move(request));
    }
    return sequence_;
}

void AnalysisSession::Cancel() {
    ++sequence_;
    pending_.reset();
    if (running_) stop_.RequestStop();
}

void AnalysisSession::Start(AnalysisRequest request) {
    // The worker before has posted its result and is ending: this join is short.
    if (worker_.joinable()) worker_.join();
    stop_.Reset();
    running_ = true;
    const uint64_t sequence = sequence_;
    try {
        auto shared = std::make_shared<AnalysisRequest>(std::move(request));
        worker_ = std::thread([this, shared, sequence] {
            std::shared_ptr<AnalysisResult> result;
            try {
                result = std::make_shared<AnalysisResult>(RunAnalysis(*shared, &stop_));
            } catch (const std::exception&) {
                // The result itself did not fit: give up the samples and say so.
                *shared = AnalysisRequest();
                try {
                    result = std::make_shared<AnalysisResult>();
                    result->error = NoMemoryToAnalyseText();
                } catch (const std::exception&) {
                }
            }
            // Nothing left to say it with: the session stays busy until destroyed.
            if (!result) return;
            result->sequence = sequence;
            try {
                QMetaObject::invokeMethod(
                    this, [this, result] { OnDone(result); }, Qt::QueuedConnection);
            } catch (const std::exception&) {
            }
        });
    } catch (const std::exception& e) {
        // No memory for the copy, or no thread: the request is answered with why.
        // Posted rather than emitted here: the caller is not re-entered from Run().
        bool thread = dynamic_cast<const std::system_error*>(&e) != nullptr;
        try {
            auto result = std::make_shared<AnalysisResult>();
            result->sequence = sequence;
            result->error = thread ? Tr("Не удалось запустить поток анализа",
                                        "The analysis thread could not be started")
                                   : NoMemoryToAnalyseText();
            QMetaObject::invokeMethod(
                this, [this, result] { OnDone(result); }, Qt::QueuedConnection);
        } catch (const std::exception&) {
            running_ = false;  // unanswered; the next Run() starts afresh
        }
    }
}

void AnalysisSession::OnDone(const std::shared_ptr<AnalysisResult>& result) {
    if (worker_.joinable()) worker_.join();
    running_ = false;
    if (pending_) {
        AnalysisRequest next = std::move(*pending_);
        pending_.reset();
        Start(std::move(next));
    }
    if (result->sequence == sequence_) emit finished(*result);
}

}  // namespace korvex::gui
