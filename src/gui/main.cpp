// SPDX-License-Identifier: GPL-3.0-or-later
// korvex: the Qt application. Without arguments it shows the start dialog; with a
// recording file it shows that file in the main window.
#include <csignal>

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/Config.h"
#include "app/Language.h"
#include "app/Version.h"
#include "app/Viewer.h"
#include "gui/Application.h"
#include "gui/Captions.h"
#include "gui/GuiErrorSink.h"
#include "gui/Modes.h"
#include "gui/RecorderDialog.h"
#include "gui/ReportWindow.h"
#include "link/LinkSettings.h"
#if KORVEX_WITH_SIM
#include "sim/Regulator.h"
#endif

using namespace korvex;

namespace {

// The built-in simulated regulator of --simulate. It runs on a pseudo-terminal, which
// POSIX systems have; elsewhere --simulate says it cannot start.
struct Simulator {
#if KORVEX_WITH_SIM
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    bool Start(std::string* err) {
        return sim::StartRegulator(sim, model, err);
    }
    std::string port() const {
        return sim.port_path();
    }
#else
    bool Start(std::string* err) {
        *err = "it runs on a pseudo-terminal, which this system does not have";
        return false;
    }
    std::string port() const {
        return {};
    }
#endif
};

void Usage(FILE* out) {
    std::fputs(
        Tr("Использование: korvex [--simulate [--osc]] [--] [ФАЙЛ]\n"
           "\n"
           "Без ФАЙЛА: стартовый диалог, из которого запускаются осциллограф и другие режимы.\n"
           "С ФАЙЛОМ: эта запись (.trd) в главном окне.\n"
           "\n"
           "  --simulate   запустить встроенный имитатор регулятора и показать его порт первым\n"
           "  --osc        с --simulate: сразу открыть осциллограф\n"
           "  --recorder   с --simulate: сразу открыть аварийный осциллограф\n"
           "  --diary      с --simulate: сразу прочитать журналы и параметры\n"
           "  --version    версия программы и лицензия\n"
           "\n"
           "Записи сохраняются в DATA/гггг.мм.дд/ рядом с программой; у установленной\n"
           "программы (или там, куда нельзя писать) - в ~/.local/share/korvex/DATA\n"
           "($XDG_DATA_HOME/korvex/DATA); $KORVEX_DATA_DIR задаёт каталог явно.\n"
           "\n"
           "KORVEX_SCREENSHOT=PNG сохраняет снимок первого окна и закрывает его\n"
           "(KORVEX_SCREENSHOT_PANEL=PNG - также панели SELVO, только осциллограф;\n"
           "KORVEX_SCREENSHOT_READ=N - сначала чтение записи N аварийного осциллографа).\n",
           "Usage: korvex [--simulate [--osc]] [--] [FILE]\n"
           "\n"
           "Without FILE: the start dialog, from which the oscilloscope and the other modes run.\n"
           "With FILE: that recording (.trd) in the main window.\n"
           "\n"
           "  --simulate   start the built-in simulated regulator and list its port first\n"
           "  --osc        with --simulate: open the live oscilloscope at once\n"
           "  --recorder   with --simulate: open the fault recorder at once\n"
           "  --diary      with --simulate: read the diaries and parameters at once\n"
           "  --version    the program's version and licence\n"
           "\n"
           "Recordings go to DATA/yyyy.mm.dd/ beside the program; for an installed program\n"
           "(or where that cannot be written) to ~/.local/share/korvex/DATA\n"
           "($XDG_DATA_HOME/korvex/DATA); $KORVEX_DATA_DIR names the directory itself.\n"
           "\n"
           "KORVEX_SCREENSHOT=PNG saves a picture of the first window after a moment and\n"
           "closes it (KORVEX_SCREENSHOT_PANEL=PNG also the SELVO panel, live only;\n"
           "KORVEX_SCREENSHOT_READ=N reads recording N in the recorder first).\n"),
        out);
}

// Saves a picture of the window after `ms` and ends it; for the README's screenshots.
void ScheduleScreenshot(QWidget* window, std::function<void()> before, std::function<void()> end,
                        int ms) {
    const char* path = std::getenv("KORVEX_SCREENSHOT");
    if (!path || !*path) return;
    std::string target = path;
    QTimer::singleShot(ms, window, [window, target, before, end] {
        if (before) before();
        window->grab().save(QString::fromStdString(target));
        end();
    });
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit ends a write with EFBIG, handled like a full disk, instead of
    // killing the program in the middle of a row.
#ifdef SIGXFSZ
    signal(SIGXFSZ, SIG_IGN);  // POSIX only; Windows has no file-size signal
#endif
    if (gui::AnswerBeforeStart(argc, argv, "korvex", Usage)) return 0;
    QApplication app(argc, argv);
    gui::SetUpApplication(app, "org.korvex.Korvex");

    bool simulate = false, osc_now = false, recorder_now = false, diary_now = false;
    std::string file;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        // After "--" every argument is a file name, even one that starts with "-".
        if (options_end || argv[i][0] != '-') {
            if (file.empty()) file = argv[i];
        } else if (!std::strcmp(argv[i], "--"))
            options_end = true;
        else if (!std::strcmp(argv[i], "--simulate"))
            simulate = true;
        else if (!std::strcmp(argv[i], "--osc"))
            osc_now = true;
        else if (!std::strcmp(argv[i], "--recorder"))
            recorder_now = true;
        else if (!std::strcmp(argv[i], "--diary"))
            diary_now = true;
        else {
            Usage(stderr);
            return 2;
        }
    }
    if ((osc_now || recorder_now || diary_now) && !simulate) {
        std::fprintf(stderr, "%s\n",
                     Tr("korvex: --osc, --recorder и --diary - только вместе с --simulate; для "
                        "настоящего регулятора служит стартовый диалог",
                        "korvex: --osc, --recorder and --diary go with --simulate; for a real "
                        "regulator use the start dialog"));
        return 2;
    }

    gui::GuiErrorSink sink;
    ScopedErrorSink scoped(&sink);
    {
        // Linux programs carry no version record: a separate viewer counts by its presence,
        // and without one Korvex's own viewing mode shows the recordings.
        std::string message = ViewerStartupMessage(!FindViewer().empty(), false, Version4{}, true);
        if (!message.empty()) ShowError(message);
    }
    int delay = std::getenv("KORVEX_SCREENSHOT_DELAY_MS")
                    ? std::atoi(std::getenv("KORVEX_SCREENSHOT_DELAY_MS"))
                    : 1500;

    // The window shown without the start dialog (a file, or --osc); deleted here when it
    // is still open at the end.
    QPointer<gui::LiveWindow> window;
    auto shoot_window = [&] {
        ScheduleScreenshot(
            window,
            [&window] {
                const char* panel = std::getenv("KORVEX_SCREENSHOT_PANEL");
                if (panel && *panel && window && window->panel(0)) {
                    window->ShowPanels();
                    window->panel(0)->Refresh();
                    window->panel(0)->grab().save(QString::fromUtf8(panel));
                }
            },
            [&window] {
                if (window) window->close();
            },
            delay);
    };

    if (!file.empty()) {
        window = gui::OpenRecording(file);
        if (!window) return 0;
        shoot_window();
        int rc = app.exec();
        delete window;
        return rc;
    }

    ConfigValues cfg = ReadConfigFile();
    Simulator sim;
    if (simulate) {
        std::string err;
        if (!sim.Start(&err)) {
            ShowError("Simulated regulator: " + err);
            return 1;
        }
    }

    if (osc_now) {
        // The settings the start dialog would preselect from Korvex.cfg.
        LinkSettings link;
        link.port_name = sim.port();
        link.osc_baud = cfg.cfg_baud1 == 38400 ? 38400 : cfg.cfg_baud1 == 57600 ? 57600 : 115200;
        int rate = link.osc_baud < 115200 ? 0
                   : cfg.cfg_fsam == 100  ? 1
                   : cfg.cfg_fsam == 125  ? 2
                   : cfg.cfg_fsam == 166  ? 3
                                          : 0;
        const int dividers[4] = {10, 5, 4, 3};
        link.rate_divider = dividers[rate];
        link.rate_index = rate + 1;
        window = gui::OpenOscilloscope(link);
        if (!window) return 1;
        shoot_window();
        int rc = app.exec();
        delete window;
        return rc;
    }

    if (recorder_now) {
        LinkSettings link;
        link.port_name = sim.port();
        link.av_baud = cfg.cfg_baud2 == 230400 ? 230400 : 115200;
        QWidget owner;
        QPointer<gui::RecorderSession> session = gui::OpenRecorder(link, &owner);
        QObject::connect(session, &QObject::destroyed, &app, &QApplication::quit);
        QObject::connect(session, &gui::RecorderSession::opened, [&] {
            auto* dialog = owner.findChild<gui::RecorderDialog*>();
            if (!dialog) return;
            // For the README's picture: a read in progress.
            int row = std::getenv("KORVEX_SCREENSHOT_READ")
                          ? std::atoi(std::getenv("KORVEX_SCREENSHOT_READ")) - 1
                          : -1;
            if (row >= 0)
                QTimer::singleShot(delay / 3, dialog, [dialog, row] {
                    dialog->list()->selectRow(row);
                    if (auto* read = dialog->findChild<QPushButton*>(QStringLiteral("read")))
                        read->click();
                });
            ScheduleScreenshot(
                dialog, nullptr, [dialog] { dialog->close(); }, delay);
        });
        return app.exec();
    }

    if (diary_now) {
        LinkSettings link;
        link.port_name = sim.port();
        gui::StartDialog owner(cfg, gui::ProgramModes());
        gui::DiarySession* session = gui::OpenDiary(link, owner);
        QObject::connect(session, &gui::DiarySession::finished, [&](const QString& report) {
            auto* window = owner.findChild<gui::ReportWindow*>();
            if (report.isEmpty() || !window) {
                app.quit();
                return;
            }
            QObject::connect(window, &QObject::destroyed, &app, &QApplication::quit);
            ScheduleScreenshot(
                window, nullptr, [window] { window->close(); }, delay);
        });
        return app.exec();
    }

    gui::StartDialog::Modes modes = gui::ProgramModes();
    if (simulate) {
        std::string sim_port = sim.port();
        modes.enumerate = [sim_port] {
            ComPortList list;
            list.ports.push_back({sim_port, 0});
            RS232_EnumPorts();
            list.ports.insert(list.ports.end(), g_ComPortList.ports.begin(),
                              g_ComPortList.ports.end());
            return list;
        };
        // The simulator's port is the one to use: it stands first and is selected.
        cfg.cfg_port = sim_port;
    }
    gui::StartDialog dlg(cfg, modes);
    if (!dlg.InitDialog()) return 0;
    // Closing the start dialog ends the program, and a mode still running with it.
    QObject::connect(&dlg, &QDialog::finished, &app, &QApplication::quit);
    dlg.show();
    ScheduleScreenshot(
        &dlg, nullptr, [&dlg] { dlg.reject(); }, delay);
    return app.exec();
}
