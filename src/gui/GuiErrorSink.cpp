// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/GuiErrorSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

namespace korvex::gui {

void GuiErrorSink::ShowError(const std::string& text) {
    QString message = QString::fromUtf8(text.c_str());
    // The message stays exactly as the operation wrote it; what its error number means
    // goes under it.
    QString detail = QString::fromUtf8(ErrorExplanation(text).c_str());
    auto show = [message, detail] {
        // On the heap and watched: the box's loop runs queued work, which may close and
        // delete the window it belongs to, and the box with it.
        QPointer<QMessageBox> box =
            new QMessageBox(QMessageBox::Warning, QStringLiteral("Korvex"), message,
                            QMessageBox::Ok, QApplication::activeWindow());
        box->setTextFormat(Qt::PlainText);
        if (!detail.isEmpty()) box->setInformativeText(detail);
        box->exec();
        delete box.data();
    };
    if (QThread::currentThread() == qApp->thread())
        show();
    else
        QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
}

}  // namespace korvex::gui
