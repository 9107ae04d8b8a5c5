// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Modes.h"

#include "gui/RecorderDialog.h"
#include "gui/ReportWindow.h"

namespace korvex::gui {

namespace {

LiveWindow* ShowWindow(std::unique_ptr<OscSession> session, QWidget* parent) {
    auto* window = new LiveWindow(std::move(session), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

}  // namespace

LiveWindow* OpenOscilloscope(const LinkSettings& settings, QWidget* parent) {
    auto session = std::make_unique<OscSession>();
    if (!session->StartLive(settings)) return nullptr;
    return ShowWindow(std::move(session), parent);
}

RecorderSession* OpenRecorder(const LinkSettings& settings, QWidget* parent) {
    auto* session = new RecorderSession(parent);
    QObject::connect(session, &RecorderSession::opened, session, [session, parent] {
        auto* dialog = new RecorderDialog(*session, parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(session, &RecorderSession::ended, dialog, &QWidget::close);
        dialog->show();
    });
    QObject::connect(session, &RecorderSession::ended, session, &QObject::deleteLater);
    session->Start(settings);
    return session;
}

DiarySession* OpenDiary(const LinkSettings& settings, StartDialog& dialog) {
    auto* session = new DiarySession(&dialog);
    QObject::connect(session, &DiarySession::progressRange, &dialog, [&dialog](int maximum) {
        if (maximum == 100) dialog.ShowProgress(true);
        dialog.SetProgressRange(maximum);
    });
    QObject::connect(session, &DiarySession::progressPosition, &dialog, &StartDialog::SetProgress);
    QObject::connect(session, &DiarySession::finished, &dialog,
                     [session, &dialog](const QString& report) {
                         dialog.ShowProgress(false);
                         if (!report.isEmpty()) {
                             auto* window = new ReportWindow(report.toStdString(), &dialog);
                             window->setAttribute(Qt::WA_DeleteOnClose);
                             window->show();
                         }
                         session->deleteLater();
                     });
    session->Start(settings);
    return session;
}

LiveWindow* OpenRecording(const std::string& path, QWidget* parent) {
    auto session = std::make_unique<OscSession>();
    if (!session->OpenFile(path)) return nullptr;
    return ShowWindow(std::move(session), parent);
}

StartDialog::Modes ProgramModes() {
    StartDialog::Modes modes;
    modes.oscilloscope = [](const LinkSettings& settings, StartDialog& dialog) -> QObject* {
        return OpenOscilloscope(settings, &dialog);
    };
    modes.recorder = [](const LinkSettings& settings, StartDialog& dialog) -> QObject* {
        return OpenRecorder(settings, &dialog);
    };
    modes.diary = [](const LinkSettings& settings, StartDialog& dialog) -> QObject* {
        return OpenDiary(settings, dialog);
    };
    return modes;
}

}  // namespace korvex::gui
