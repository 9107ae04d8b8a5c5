// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPlainTextEdit>
#include <QWidget>
#include <string>

namespace korvex::gui {

// A diary and parameter report, read-only, in a monospace font: the file is Windows-1251
// with CR LF line ends, as every Korvex writes it; the window shows it decoded. One
// button opens the report's folder, one opens the file in the desktop's text editor.
// Resizable; opened with show(). GUI thread only.
class ReportWindow : public QWidget {
    Q_OBJECT
public:
    explicit ReportWindow(const std::string& path, QWidget* parent = nullptr);
    QString text() const { return view_->toPlainText(); }

private:
    std::string path_;
    QPlainTextEdit* view_;
};

}  // namespace korvex::gui
