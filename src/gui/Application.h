// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <cstdio>

namespace korvex::gui {

// Start-up shared by korvex and korvex-view, once the QApplication exists: the program's
// resources (its icon) linked in from the GUI library, the application's name and icon,
// the language from the user's locale (g_bRussian), and Qt's own texts (file dialogs,
// standard buttons, context menus) in that language. GUI thread.
// `desktop_file` names the program's desktop entry, by which a desktop matches its
// windows to its icon and launcher.
void SetUpApplication(QApplication& app, const char* desktop_file);

// Registers the resources of the GUI library. A static library's resource initialiser
// is dropped at link time unless something calls it; safe to call more than once.
void InitResources();

// Qt's own translations for the language `russian` chooses: installed for Russian (from
// Qt's translation directory, or "translations" beside the program), removed otherwise.
// False when Russian was asked for and no translation could be loaded; Qt's texts then
// stay English. GUI thread.
bool InstallQtTranslations(bool russian);

// Before a QApplication exists, which needs a display: chooses the language from the
// locale and answers "--help"/"-h" (with `usage`) or "--version" (with `program`'s name)
// given before any "--" on standard output. True when it answered: the program ends.
bool AnswerBeforeStart(int argc, char** argv, const char* program, void (*usage)(FILE*));

// Before the QApplication: on Windows, whether Qt's window module (platforms\qwindows.dll
// beside the program) is there; without it Qt would end the program with no word a user
// sees. When it is missing, says so in a message box and on standard error, in the
// language AnswerBeforeStart chose, and returns false: the program ends with status 1.
// Always true elsewhere, where Qt's modules come with the system's Qt.
bool WindowModulePresent();

}  // namespace korvex::gui
