#include "gui/GuiErrorSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace korvex::gui {

void GuiErrorSink::ShowError(const std::string& text) {
    QString message = QString::fromUtf8(text.c_str());
    auto show = [message] {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvex"), message, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    };
    if (QThread::currentThread() == qApp->thread())
        show();
    else
        QMetaObject::invokeMethod(qApp, show, Qt::BlockingQueuedConnection);
}

}  // namespace korvex::gui
