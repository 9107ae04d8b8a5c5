#include "gui/GuiErrorSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace korvex::gui {

void GuiErrorSink::ShowError(const std::string& text) {
    QString message = QString::fromUtf8(text.c_str());
    // The message stays exactly as the operation wrote it; what its error number means
    // goes under it.
    QString detail = QString::fromUtf8(ErrorExplanation(text).c_str());
    auto show = [message, detail] {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvex"), message, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.setTextFormat(Qt::PlainText);
        if (!detail.isEmpty()) box.setInformativeText(detail);
        box.exec();
    };
    if (QThread::currentThread() == qApp->thread())
        show();
    else
        QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
}

}  // namespace korvex::gui
