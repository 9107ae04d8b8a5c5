// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Application.h"

#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/Language.h"
#include "app/ProgramDir.h"
#include "app/StrPrintf.h"
#include "app/Version.h"
#include "gui/Captions.h"
#include "gui/WidgetMap.h"

#ifdef _WIN32
// Last, and without its min and max macros, which Qt's headers would take for theirs.
#define NOMINMAX
#include <windows.h>
#endif

// Outside any namespace, as the resource initialiser's name requires.
static void InitKorvexResources() {
    Q_INIT_RESOURCE(korvex);
}

namespace korvex::gui {

namespace {

QTranslator* g_qt_translator = nullptr;

}  // namespace

void InitResources() {
    InitKorvexResources();
}

bool InstallQtTranslations(bool russian) {
    if (g_qt_translator) {
        QCoreApplication::removeTranslator(g_qt_translator);
        delete g_qt_translator;
        g_qt_translator = nullptr;
    }
    if (!russian) return true;
    auto translator = std::make_unique<QTranslator>();
    // Debian's Qt keeps them in its translation directory; a Windows installation beside
    // the program. Qt's widgets, dialogs and buttons are all qtbase's.
    const QString dirs[] = {
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
        QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    for (const QString& dir : dirs) {
        if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                             QStringLiteral("_"), dir)) {
            g_qt_translator = translator.release();
            QCoreApplication::installTranslator(g_qt_translator);
            return true;
        }
    }
    return false;
}

namespace {

bool AsksFor(int argc, char** argv, const char* option, const char* short_option) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--"); ++i)
        if (!std::strcmp(argv[i], option) || (short_option && !std::strcmp(argv[i], short_option)))
            return true;
    return false;
}

}  // namespace

bool AnswerBeforeStart(int argc, char** argv, const char* program, void (*usage)(FILE*)) {
    g_bRussian = LocaleIsRussian();
    if (AsksFor(argc, argv, "--help", "-h")) {
        usage(stdout);
        return true;
    }
    if (AsksFor(argc, argv, "--version", nullptr)) {
        std::fputs(VersionText(program).c_str(), stdout);
        return true;
    }
    return false;
}

bool WindowModulePresent() {
#ifdef _WIN32
    // The program's folder is UTF-8 here: the manifest makes it the ANSI code page.
    std::string dir = GetProgramDir();
    if (GetFileAttributesA((dir + "platforms\\qwindows.dll").c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    std::string text = StrPrintf(Tr("Korvex не может открыть окно: в папке программы\n%s\n"
                                    "нет файла platforms\\qwindows.dll (модуль окон Qt).\n\n"
                                    "Распакуйте архив Korvex заново, целиком, со всеми папками.",
                                    "Korvex cannot open its window: the program's folder\n%s\n"
                                    "has no file platforms\\qwindows.dll (Qt's window module).\n\n"
                                    "Unpack the Korvex zip again, whole, with all its folders."),
                                 dir.c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    QString wide = QString::fromUtf8(text.c_str());
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(wide.utf16()), L"Korvex",
                MB_OK | MB_ICONERROR);
    return false;
#else
    return true;
#endif
}

void SetUpApplication(QApplication& app, const char* desktop_file) {
    InitResources();
    app.setApplicationName(QStringLiteral("Korvex"));
    app.setDesktopFileName(QString::fromLatin1(desktop_file));
    app.setWindowIcon(ProgramIcon());
    g_bRussian = LocaleIsRussian();
    InstallQtTranslations(g_bRussian);
    StartWidgetMap();
}

}  // namespace korvex::gui
