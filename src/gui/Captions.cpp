// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Captions.h"

#include "app/Version.h"

namespace korvex::gui {

void SetTitleVersion(QWidget* window) {
    std::string old = window->windowTitle().toStdString();
    window->setWindowTitle(QString::fromStdString(TitleWithVersion(old)));
}

QIcon ProgramIcon() {
    return QIcon(QStringLiteral(":/korvex.png"));
}

}  // namespace korvex::gui
