// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/OscillationModes.h"
#include "analysis/Spectrum.h"
#include "analysis/StepResponse.h"
#include "app/StopToken.h"

namespace korvex::gui {

enum class AnalysisKind { Step, Oscillation, Spectrum };

// One analysis of one channel's window. The samples are a copy: a reload replaces the
// recording the window shows while the analysis runs.
struct AnalysisRequest {
    AnalysisKind kind = AnalysisKind::Step;
    int channel = 0;             // carried through to the result, not used by the analysis
    std::vector<double> values;  // the window's samples, `step` seconds apart
    double step = 1;
    double start = 0;          // seconds of values[0] from the recording's first row
    double band_pct = 2.0;     // the settling band of a step response
    std::optional<double> at;  // a step response's instant, seconds; found when empty
    int max_items = 5;         // modes or peaks reported at most
};

// What an analysis gave: `error` (the core's message) or the result of its kind.
struct AnalysisResult {
    uint64_t sequence = 0;  // the Run() it answers
    AnalysisKind kind = AnalysisKind::Step;
    int channel = 0;
    double start = 0, end = 0;  // the window's first and last sample times, seconds
    size_t samples = 0;
    double band_pct = 2.0;
    std::string error;  // empty on success
    std::optional<StepResult> step;
    std::optional<OscillationResult> oscillation;
    std::optional<SpectrumResult> spectrum;
    // An oscillation's fit sampled over the window (at most kFitPoints), for the plot.
    std::vector<double> fit_x, fit_y;

    bool ok() const { return error.empty(); }
};

// Runs the analyses of the viewer's Analysis dock on one worker thread, so the window
// keeps painting. One analysis at a time: a Run() while one runs keeps only the newest
// request, started as soon as the running one ends (an analysis takes 200 ms at most and
// cannot be stopped midway); the stop token keeps a superseded analysis from starting and
// its result is dropped. Results reach the GUI thread as a queued call and leave as
// `finished`, only for the latest Run(); the worker never waits on the GUI. Destroying the
// session stops and joins the worker. No exception leaves it: no memory, or no thread,
// gives a result with a message. GUI thread only.
class AnalysisSession : public QObject {
    Q_OBJECT
public:
    static constexpr size_t kFitPoints = 2000;

    explicit AnalysisSession(QObject* parent = nullptr);
    ~AnalysisSession() override;

    // Starts `request` (or queues it behind the running one); returns its sequence number.
    uint64_t Run(AnalysisRequest request);
    // Drops the queued request and the result of the running one.
    void Cancel();
    bool busy() const { return running_ || pending_.has_value(); }

signals:
    void finished(const korvex::gui::AnalysisResult& result);

private:
    void Start(AnalysisRequest request);
    void OnDone(const std::shared_ptr<AnalysisResult>& result);

    std::thread worker_;
    StopToken stop_;
    bool running_ = false;
    std::optional<AnalysisRequest> pending_;
    uint64_t sequence_ = 0;  // of the latest Run(); Cancel() moves it on too
};

// The analysis of one request, on the calling thread (the session's worker runs it).
AnalysisResult RunAnalysis(const AnalysisRequest& request, const StopToken* stop);

}  // namespace korvex::gui

Q_DECLARE_METATYPE(korvex::gui::AnalysisResult)
