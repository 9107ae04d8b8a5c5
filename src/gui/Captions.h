// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QWidget>

namespace korvex::gui {

// The caption rule of every window: " Korvex v1.3.1" in front of its own caption.
void SetTitleVersion(QWidget* window);

// The program icon.
QIcon ProgramIcon();

}  // namespace korvex::gui
