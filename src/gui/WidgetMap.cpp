// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/WidgetMap.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <memory>

namespace korvex::gui {

namespace {

QString OneLine(QString text) {
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

QString Rect(const QRect& r) {
    return QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QString TextOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText();
    return {};
}

// The map of every visible window, in the form the header gives.
QString Map() {
    QString out;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        // Windows without a name of their own go by their class.
        QString name = window->objectName();
        if (name.isEmpty())
            name = QString::fromLatin1(window->metaObject()->className())
                       .section(QLatin1Char(':'), -1);
        out += QStringLiteral("window\t%1\t%2\t%3\n")
                   .arg(name, Rect(window->frameGeometry()), OneLine(window->windowTitle()));
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (w->objectName().isEmpty() || w->window() != window || !w->isVisible()) continue;
            QRect r(w->mapToGlobal(QPoint(0, 0)), w->size());
            out += QStringLiteral("widget\t%1\t%2\t%3\t%4\n")
                       .arg(name, w->objectName(), Rect(r), OneLine(TextOf(w)));
            auto* view = qobject_cast<QAbstractItemView*>(w);
            if (!view || !view->model()) continue;
            for (int row = 0; row < view->model()->rowCount() && row < 50; ++row) {
                QRect cell = view->visualRect(view->model()->index(row, 0));
                if (cell.isEmpty()) continue;
                cell.moveTopLeft(view->viewport()->mapToGlobal(cell.topLeft()));
                out +=
                    QStringLiteral("widget\t%1\t%2#%3\t%4\t%5\n")
                        .arg(name, w->objectName())
                        .arg(row)
                        .arg(Rect(cell), OneLine(view->model()->index(row, 0).data().toString()));
            }
        }
    }
    return out;
}

}  // namespace

void StartWidgetMap() {
    const char* dir = std::getenv("KORVEX_WIDGET_MAP");
    if (!dir || !*dir) return;
    QString path = QDir(QString::fromUtf8(dir))
                       .filePath(QFileInfo(QCoreApplication::applicationFilePath()).baseName() +
                                 QStringLiteral(".map"));
    auto* timer = new QTimer(qApp);
    auto last = std::make_shared<QString>();
    QObject::connect(timer, &QTimer::timeout, qApp, [path, last] {
        QString map = Map();
        if (map == *last) return;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(map.toUtf8());
        if (file.commit()) *last = map;
    });
    timer->start(200);
}

}  // namespace korvex::gui
