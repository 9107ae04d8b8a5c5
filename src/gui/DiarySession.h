// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

#include "diary/DiaryRun.h"

namespace korvex::gui {

// One run of "Diary and Parameters", without widgets: the whole read (identification,
// clock, diaries, parameter sets, report) runs on the session's worker, so the windows
// keep painting. Progress and the end reach the GUI thread as queued signals; the
// worker never waits on it. GUI thread only.
class DiarySession : public QObject {
    Q_OBJECT
public:
    explicit DiarySession(QObject* parent = nullptr);
    // Asks a run still going to stop between exchanges and joins it.
    ~DiarySession() override;

    void Start(const LinkSettings& settings);
    bool running() const { return worker_.joinable() && !ended_; }

signals:
    void progressRange(int maximum);
    void progressPosition(int position);
    // The run is over: its messages have been shown; `report` is the finished report,
    // empty when the run stopped before its end.
    void finished(const QString& report);

private:
    void OnDone(const DiaryRunResult& result);

    std::thread worker_;
    std::atomic<bool> stop_{false};
    bool ended_ = false;
};

}  // namespace korvex::gui

Q_DECLARE_METATYPE(korvex::DiaryRunResult)
