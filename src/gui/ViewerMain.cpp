// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-view: Korvex's viewer for finished recordings. Each FILE opens in a window of
// its own; without one, an empty window offers File > Open.
#include <QApplication>
#include <QComboBox>
#include <QPointer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "files/NumberParse.h"
#include "gui/AnalysisDock.h"
#include "gui/Application.h"
#include "gui/Captions.h"
#include "gui/ViewerPlot.h"
#include "gui/ViewerSession.h"
#include "gui/ViewerWindow.h"

using namespace korvex;

namespace {

void Usage(FILE* out) {
    std::fputs(
        Tr("Использование: korvex-view [--] [ФАЙЛ...]\n"
           "\n"
           "Показывает записи (.trd) и записи COMTRADE (.cfg) целиком: время в секундах,\n"
           "масштаб и сдвиг, слежение за растущим файлом, курсоры A и B\n"
           "с их отсчётами, экспорт в CSV, COMTRADE, PNG и PDF, анализ канала (переходная\n"
           "характеристика, колебательные моды, спектр) с протоколом испытания в PDF.\n"
           "\n"
           "  --version   версия программы и лицензия\n"
           "\n"
           "KORVEX_SCREENSHOT=PNG сохраняет снимок первого окна, когда оно нарисовано, и\n"
           "завершает работу (KORVEX_SCREENSHOT_CURSORS=A,B сначала ставит курсоры на эти\n"
           "секунды, KORVEX_SCREENSHOT_VIEW=ОТ,ДО показывает эту часть,\n"
           "KORVEX_SCREENSHOT_ANALYSIS=step|oscillation|spectrum открывает панель анализа\n"
           "на канале KORVEX_SCREENSHOT_CHANNEL=N, KORVEX_SCREENSHOT_REPORT=PDF записывает\n"
           "её протокол испытания).\n"
           "KORVEX_WIDGET_MAP=ПАПКА: файл korvex-view.map в ней говорит, где на экране\n"
           "окна и кнопки (для тестов, которые нажимают их мышью).\n",
           "Usage: korvex-view [--] [FILE...]\n"
           "\n"
           "Shows recordings (.trd) and COMTRADE records (.cfg) whole: time in seconds,\n"
           "zoom and pan, following a growing file, cursors A and B\n"
           "with their readings, export to CSV, COMTRADE, PNG and PDF, and a channel's\n"
           "analysis (step response, oscillation modes, spectrum) with a PDF test report.\n"
           "\n"
           "  --version   the program's version and licence\n"
           "\n"
           "KORVEX_SCREENSHOT=PNG saves a picture of the first window once it is drawn and\n"
           "ends (KORVEX_SCREENSHOT_CURSORS=A,B places the cursors at those seconds first,\n"
           "KORVEX_SCREENSHOT_VIEW=FROM,TO shows that part,\n"
           "KORVEX_SCREENSHOT_ANALYSIS=step|oscillation|spectrum opens the Analysis panel\n"
           "on channel KORVEX_SCREENSHOT_CHANNEL=N, KORVEX_SCREENSHOT_REPORT=PDF writes its\n"
           "test report).\n"
           "KORVEX_WIDGET_MAP=FOLDER keeps korvex-view.map there: where the windows and\n"
           "buttons are on the screen (for tests that click them).\n"),
        out);
}

// "A,B" in seconds, read with "." whatever the locale.
bool TwoNumbers(const char* text, double* a, double* b) {
    if (!text) return false;
    const char* end = text + std::strlen(text);
    const char* p = ParseDouble(text, end, a);
    if (p == text || p == end || *p != ',') return false;
    const char* q = ParseDouble(p + 1, end, b);
    return q != p + 1 && q == end;
}

// For the README's picture: the first window with the cursors and view asked for, at a
// size of its own (the user's settings neither read nor written); false when no picture
// is asked for.
bool ScheduleScreenshot(gui::ViewerWindow* window) {
    const char* path = std::getenv("KORVEX_SCREENSHOT");
    if (!path || !*path) return false;
    window->resize(1100, 760);
    QString target = QString::fromUtf8(path);
    QObject::connect(
        window, &gui::ViewerWindow::loaded, window, [window, target](const QString& m) {
            if (!m.isEmpty()) {
                QApplication::exit(1);
                return;
            }
            const RecordingData& data = window->session()->data();
            double a, b;
            if (TwoNumbers(std::getenv("KORVEX_SCREENSHOT_VIEW"), &a, &b))
                window->plot()->SetView(QCPRange(a, b), false);
            if (TwoNumbers(std::getenv("KORVEX_SCREENSHOT_CURSORS"), &a, &b)) {
                window->plot()->SetCursor(gui::ViewerPlot::kCursorA, long(data.RowAt(a)));
                window->plot()->SetCursor(gui::ViewerPlot::kCursorB, long(data.RowAt(b)));
            }
            auto take = [window, target] {
                QTimer::singleShot(500, window, [window, target] {
                    window->grab().save(target);
                    if (const char* report = std::getenv("KORVEX_SCREENSHOT_REPORT"))
                        window->ExportReport(QString::fromUtf8(report));
                    window->close();
                });
            };
            const char* kind = std::getenv("KORVEX_SCREENSHOT_ANALYSIS");
            if (!kind || !*kind) {
                take();
                return;
            }
            // The Analysis dock on a channel (KORVEX_SCREENSHOT_CHANNEL, from 1), the picture
            // once its result is in.
            gui::AnalysisDock* dock = window->analysis();
            dock->show();
            QObject::connect(dock, &gui::AnalysisDock::resultChanged, window, [dock, take] {
                if (dock->has_result()) take();
            });
            const char* channel = std::getenv("KORVEX_SCREENSHOT_CHANNEL");
            if (channel) dock->channel_box()->setCurrentIndex(std::atoi(channel) - 1);
            dock->kind_box()->setCurrentIndex(!std::strcmp(kind, "spectrum")      ? 2
                                              : !std::strcmp(kind, "oscillation") ? 1
                                                                                  : 0);
        });
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (gui::AnswerBeforeStart(argc, argv, "korvex-view", Usage)) return 0;
    if (!gui::WindowModulePresent()) return 1;
    QApplication app(argc, argv);
    gui::SetUpApplication(app, "korvex-view");
    QStringList files;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        if (options_end || argv[i][0] != '-') {
            files << QString::fromLocal8Bit(argv[i]);
        } else if (!std::strcmp(argv[i], "--")) {
            options_end = true;
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (files.isEmpty()) files << QString();
    // A file named that cannot be read ends the program with status 1 once the windows are
    // closed (its own window closes after the message; the others stay).
    int failed = 0;
    for (const QString& f : files) {
        auto* window = new gui::ViewerWindow;
        if (f != files.front() || !ScheduleScreenshot(window)) window->UseSettings();
        if (!f.isEmpty())
            QObject::connect(window, &gui::ViewerWindow::loaded, window,
                             [&failed, window](const QString& message) {
                                 if (message.isEmpty() || window->session()->has_data()) return;
                                 ++failed;
                                 // Also where the command was typed, and for a picture
                                 // taken with no one at the screen.
                                 std::fprintf(stderr, "%s\n", message.toUtf8().constData());
                             });
        window->show();
        window->Open(f);
    }
    int status = app.exec();
    return status != 0 ? status : (failed > 0 ? 1 : 0);
}
