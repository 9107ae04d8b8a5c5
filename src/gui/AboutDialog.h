// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace korvex::gui {

// "About Korvex": the icon, "Korvex   v1.3.1.0", one line on what the program is, OK.
// Opened with open(); changes nothing.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace korvex::gui
