// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Modes.h"

#include <QPointer>
#include <memory>

#include "gui/MessageBoxes.h"
#include "gui/RecorderDialog.h"
#include "gui/ReportWindow.h"
#ifdef _WIN32
#include "diary/Notepad.h"
#endif

namespace korvex::gui {

namespace {

LiveWindow* ShowWindow(std::unique_ptr<OscSession> session, QWidget* parent) {
    auto* window = new LiveWindow(std::move(session), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

// A mode that did not open: its messages to the caller, or over the window it came from.
void Refused(QWidget* parent, const std::vector<std::string>& said,
             std::vector<std::string>* messages) {
    if (messages)
        messages->insert(messages->end(), said.begin(), said.end());
    else
        ShowMessages(parent, ToQStringList(said));
}

}  // namespace

LiveWindow* OpenOscilloscope(const LinkSettings& settings, QWidget* parent,
                             std::vector<std::string>* messages) {
    auto session = std::make_unique<OscSession>();
    std::vector<std::string> said;
    if (!session->StartLive(settings, &said)) {
        Refused(parent, said, messages);
        return nullptr;
    }
    return ShowWindow(std::move(session), parent);
}

RecorderSession* OpenRecorder(const LinkSettings& settings, QWidget* parent) {
    auto* session = new RecorderSession(parent);
    // The messages over the recorder's window once it stands, before that over the window
    // the mode came from.
    auto view = std::make_shared<QPointer<QWidget>>();
    QObject::connect(session, &RecorderSession::messages, session,
                     [session, parent, view](const QStringList& texts) {
                         QWidget* over = *view ? view->data() : parent;
                         ShowMessages(over, texts, session,
                                      [session] { session->MessagesTaken(); });
                     });
    QObject::connect(session, &RecorderSession::opened, session, [session, parent, view] {
        auto* dialog = new RecorderDialog(*session, parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        *view = dialog;
        QObject::connect(session, &RecorderSession::ended, dialog, &QWidget::close);
        dialog->show();
    });
    QObject::connect(session, &RecorderSession::ended, session, &QObject::deleteLater);
    session->Start(settings);
    return session;
}

DiarySession* OpenDiary(const LinkSettings& settings, StartDialog& dialog) {
    auto* session = new DiarySession(&dialog);
    QObject::connect(
        session, &DiarySession::messages, &dialog, [session, &dialog](const QStringList& texts) {
            ShowMessages(&dialog, texts, session, [session] { session->MessagesTaken(); });
        });
    QObject::connect(session, &DiarySession::progressRange, &dialog, [&dialog](int maximum) {
        if (maximum == 100) dialog.ShowProgress(true);
        dialog.SetProgressRange(maximum);
    });
    QObject::connect(session, &DiarySession::progressPosition, &dialog, &StartDialog::SetProgress);
    QObject::connect(session, &DiarySession::finished, &dialog,
                     [session, &dialog](const QString& report) {
                         dialog.ShowProgress(false);
                         if (!report.isEmpty()) {
#ifdef _WIN32
                             // Where Windows users have always read it.
                             std::string err;
                             if (OpenInNotepad(report.toStdString(), &err) != 0)
                                 ShowMessage(&dialog, QString::fromStdString(err));
#else
                             auto* window = new ReportWindow(report.toStdString(), &dialog);
                             window->setAttribute(Qt::WA_DeleteOnClose);
                             window->show();
#endif
                         }
                         session->deleteLater();
                     });
    session->Start(settings);
    return session;
}

LiveWindow* OpenRecording(const std::string& path, QWidget* parent,
                          std::vector<std::string>* messages) {
    auto session = std::make_unique<OscSession>();
    std::string err;
    if (!session->OpenFile(path, &err)) {
        Refused(parent, {err}, messages);
        return nullptr;
    }
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
