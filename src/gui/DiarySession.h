// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <thread>

#include "app/StopToken.h"
#include "diary/DiaryRun.h"

namespace korvex::gui {

// One run of "Diary and Parameters", without widgets: the whole read (identification,
// clock, diaries, parameter sets, report) runs on the session's worker, so the windows
// keep painting. Progress and the end reach the GUI thread as queued signals; the
// worker never waits on it. The run's messages travel as values: messages() hands them
// to the view, and finished() follows MessagesTaken(). GUI thread only.
class DiarySession : public QObject {
    Q_OBJECT
public:
    explicit DiarySession(QObject* parent = nullptr);
    // Stops a run still going (its waiting exchange is woken) and joins it.
    ~DiarySession() override;

    void Start(const LinkSettings& settings);
    // The view has taken the texts of messages().
    void MessagesTaken();
    bool running() const { return worker_.joinable() && !ended_; }

signals:
    // The run's messages, to show in order; finished() waits for MessagesTaken().
    void messages(const QStringList& texts);
    void progressRange(int maximum);
    void progressPosition(int position);
    // The run is over: its messages have been taken; `report` is the finished report,
    // empty when the run stopped before its end.
    void finished(const QString& report);

private:
    void OnDone(const DiaryRunResult& result);

    std::thread worker_;
    StopToken stop_;
    bool ended_ = false;
    bool told_ = false;  // finished() has been emitted
    QString report_;
};

}  // namespace korvex::gui

Q_DECLARE_METATYPE(korvex::DiaryRunResult)
