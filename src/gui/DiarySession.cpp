// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/DiarySession.h"

#include "gui/MessageBoxes.h"

namespace korvex::gui {

DiarySession::DiarySession(QObject* parent) : QObject(parent) {
    qRegisterMetaType<korvex::DiaryRunResult>();
}

DiarySession::~DiarySession() {
    stop_.RequestStop();
    if (worker_.joinable()) worker_.join();
}

void DiarySession::Start(const LinkSettings& settings) {
    if (worker_.joinable()) return;
    worker_ = std::thread([this, settings] {
        DiaryRunEvents events;
        events.progress_range = [this](int m) {
            QMetaObject::invokeMethod(
                this, [this, m] { emit progressRange(m); }, Qt::QueuedConnection);
        };
        events.progress_position = [this](int p) {
            QMetaObject::invokeMethod(
                this, [this, p] { emit progressPosition(p); }, Qt::QueuedConnection);
        };
        DiaryRunResult r = ReadDiariesAndParameters(settings, events, &stop_);
        QMetaObject::invokeMethod(
            this, [this, r] { OnDone(r); }, Qt::QueuedConnection);
    });
}

void DiarySession::OnDone(const DiaryRunResult& result) {
    if (worker_.joinable()) worker_.join();
    ended_ = true;
    report_ = result.complete ? QString::fromStdString(result.report_path) : QString();
    if (result.messages.empty())
        MessagesTaken();
    else
        emit messages(ToQStringList(result.messages));
}

void DiarySession::MessagesTaken() {
    if (!ended_ || told_) return;
    told_ = true;
    emit finished(report_);
}

}  // namespace korvex::gui
