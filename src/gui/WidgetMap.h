// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace korvex::gui {

// For tests that drive the programs from outside with real mouse clicks (the Windows
// build under Wine): when KORVEX_WIDGET_MAP names a folder, the program keeps a file
// there, "<program>.map", telling where each visible window and named widget is on the
// screen and what it shows. The file is replaced whole (written beside, then renamed)
// whenever that changes, checked every 200 ms; nothing is done without the variable.
//
//   window <TAB> name <TAB> x y w h <TAB> title
//   widget <TAB> window name <TAB> name <TAB> x y w h <TAB> text
//
// A window without an object name goes by its class ("StartDialog", "QMessageBox").
// Rectangles are in Qt's screen coordinates (the screen's pixels at 100 % scaling), the
// window's with its frame. A list or table shows
// its first rows as widgets named "<name>#<row>". Tabs and line ends in texts become
// blanks. GUI thread; called once the QApplication exists.
void StartWidgetMap();

}  // namespace korvex::gui
