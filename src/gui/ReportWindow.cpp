// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ReportWindow.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>
#include <fstream>
#include <sstream>

#include "app/CodePages.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "gui/Captions.h"
#include "gui/DialogUnits.h"
#include "gui/MessageBoxes.h"
#include "gui/Texts.h"

namespace korvex::gui {

ReportWindow::ReportWindow(const std::string& path, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(path) {
    setObjectName(QStringLiteral("report"));
    setWindowIcon(ProgramIcon());
    QFileInfo info(QString::fromStdString(path));
    setWindowTitle(info.fileName());
    SetTitleVersion(this);

    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string text = Cp1251ToUtf8(bytes.str());
    std::string lines;
    lines.reserve(text.size());
    for (char c : text)
        if (c != '\r') lines += c;

    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("text"));
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->setTabStopDistance(QFontMetricsF(view_->font()).horizontalAdvance(QLatin1Char(' ')) * 8);
    view_->setPlainText(QString::fromUtf8(lines.c_str()));

    auto* folder = new QPushButton(T("Открыть папку", "Open Folder"), this);
    folder->setObjectName(QStringLiteral("openFolder"));
    auto* editor = new QPushButton(T("Открыть в редакторе", "Open in Editor"), this);
    editor->setObjectName(QStringLiteral("openEditor"));
    auto* close = new QPushButton(T("Закрыть", "Close"), this);
    close->setObjectName(QStringLiteral("close"));
    // The desktop picks the program; where it has none, the user is told so.
    auto open = [this](const QString& path) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            ShowMessage(this, QString::fromStdString(StrPrintf(
                                  Tr("'%s' нельзя открыть: в системе нет программы для него",
                                     "'%s' cannot be opened: the desktop has no program for it"),
                                  path.toStdString().c_str())));
    };
    connect(folder, &QPushButton::clicked, this, [open, info] { open(info.absolutePath()); });
    connect(editor, &QPushButton::clicked, this, [open, info] { open(info.absoluteFilePath()); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, this, &QWidget::close);

    DialogUnits du(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(folder);
    buttons->addWidget(editor);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    QFontMetrics fm(view_->font());
    // Wide enough for the parameter pairs, the longest lines of a report.
    resize(std::max(du.X(420), fm.horizontalAdvance(QString(72, QLatin1Char('W'))) + 40),
           du.Y(320));
}

}  // namespace korvex::gui
