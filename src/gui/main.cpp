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
#include "app/SampleRate.h"
#include "app/Version.h"
#include "app/Viewer.h"
#include "gui/Application.h"
#include "gui/Captions.h"
#include "gui/MessageBoxes.h"
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
           "KORVEX_SCREENSHOT_READ=N - сначала чтение записи N аварийного осциллографа).\n"
           "KORVEX_WIDGET_MAP=ПАПКА: файл korvex.map в ней говорит, где на экране окна и\n"
           "кнопки (для тестов, которые нажимают их мышью).\n",
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
           "KORVEX_SCREENSHOT_READ=N reads recording N in the recorder first).\n"
           "KORVEX_WIDGET_MAP=FOLDER keeps korvex.map there: where the windows and buttons\n"
           "are on the screen (for tests that click them).\n"),
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

// What the command line asks for.
struct Options {
    bool simulate = false, osc_now = false, recorder_now = false, diary_now = false;
    std::string file;
};

// -1 to go on, else the exit status (a usage error has been printed).
int ParseOptions(int argc, char** argv, Options* o) {
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        // After "--" every argument is a file name, even one that starts with "-".
        if (options_end || argv[i][0] != '-') {
            if (o->file.empty()) o->file = argv[i];
        } else if (!std::strcmp(argv[i], "--"))
            options_end = true;
        else if (!std::strcmp(argv[i], "--simulate"))
            o->simulate = true;
        else if (!std::strcmp(argv[i], "--osc"))
            o->osc_now = true;
        else if (!std::strcmp(argv[i], "--recorder"))
            o->recorder_now = true;
        else if (!std::strcmp(argv[i], "--diary"))
            o->diary_now = true;
        else {
            Usage(stderr);
            return 2;
        }
    }
    if ((o->osc_now || o->recorder_now || o->diary_now) && !o->simulate) {
        std::fprintf(stderr, "%s\n",
                     Tr("korvex: --osc, --recorder и --diary - только вместе с --simulate; для "
                        "настоящего регулятора служит стартовый диалог",
                        "korvex: --osc, --recorder and --diary go with --simulate; for a real "
                        "regulator use the start dialog"));
        return 2;
    }
    return -1;
}

// The running program: what it shows first, and the state that outlives the start.
class Program {
public:
    Program(QApplication& app, Options options) : app_(app), o_(std::move(options)) {}
    ~Program() { delete window_.data(); }

    // Runs in the event loop, after the start-up messages have been taken.
    void Start() {
        if (!o_.file.empty()) return OpenFile();
        if (o_.simulate) {
            std::string err;
            if (!sim_.Start(&err)) return EndWith({"Simulated regulator: " + err}, 1);
        }
        cfg_ = ReadConfigFile();
        if (o_.osc_now) return OpenOscilloscope();
        if (o_.recorder_now) return OpenRecorder();
        if (o_.diary_now) return OpenDiary();
        OpenStartDialog();
    }

    // The exit status: the one a failure set, else the event loop's.
    int status(int loop_status) const { return status_ >= 0 ? status_ : loop_status; }

private:
    // Shows the messages and ends the program with `status` after the last OK.
    void EndWith(const std::vector<std::string>& messages, int status) {
        status_ = status;
        gui::ShowMessages(nullptr, gui::ToQStringList(messages), nullptr,
                          [this] { app_.exit(status_); });
    }

    void ShootWindow() {
        ScheduleScreenshot(
            window_,
            [this] {
                const char* panel = std::getenv("KORVEX_SCREENSHOT_PANEL");
                if (panel && *panel && window_ && window_->panel(0)) {
                    window_->ShowPanels();
                    window_->panel(0)->Refresh();
                    window_->panel(0)->grab().save(QString::fromUtf8(panel));
                }
            },
            [this] {
                if (window_) window_->close();
            },
            delay_);
    }

    void OpenFile() {
        std::vector<std::string> messages;
        window_ = gui::OpenRecording(o_.file, nullptr, &messages);
        if (!window_) return EndWith(messages, 0);
        ShootWindow();
    }

    void OpenOscilloscope() {
        // The settings the start dialog would preselect from Korvex.cfg.
        LinkSettings link;
        link.port_name = sim_.port();
        link.osc_baud = cfg_.cfg_baud1 == 38400 ? 38400 : cfg_.cfg_baud1 == 57600 ? 57600 : 115200;
        int rate = link.osc_baud < 115200 ? 0
                   : cfg_.cfg_fsam == 100 ? 1
                   : cfg_.cfg_fsam == 125 ? 2
                   : cfg_.cfg_fsam == 166 ? 3
                                          : 0;
        link.rate_divider = kStreamDividers[rate];
        link.rate_index = rate + 1;
        std::vector<std::string> messages;
        window_ = gui::OpenOscilloscope(link, nullptr, &messages);
        if (!window_) return EndWith(messages, 1);
        ShootWindow();
    }

    void OpenRecorder() {
        LinkSettings link;
        link.port_name = sim_.port();
        link.av_baud = cfg_.cfg_baud2 == 230400 ? 230400 : 115200;
        owner_ = std::make_unique<QWidget>();
        QWidget* owner = owner_.get();
        QPointer<gui::RecorderSession> session = gui::OpenRecorder(link, owner);
        QObject::connect(session, &QObject::destroyed, &app_, &QApplication::quit);
        int delay = delay_;
        QObject::connect(session, &gui::RecorderSession::opened, owner, [owner, delay] {
            auto* dialog = owner->findChild<gui::RecorderDialog*>();
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
    }

    void OpenDiary() {
        LinkSettings link;
        link.port_name = sim_.port();
        dialog_ = std::make_unique<gui::StartDialog>(cfg_, gui::ProgramModes());
        gui::StartDialog* owner = dialog_.get();
        gui::DiarySession* session = gui::OpenDiary(link, *owner);
        int delay = delay_;
        QObject::connect(session, &gui::DiarySession::finished, owner,
                         [this, owner, delay](const QString& report) {
                             auto* window = owner->findChild<gui::ReportWindow*>();
                             if (report.isEmpty() || !window) {
                                 app_.quit();
                                 return;
                             }
                             QObject::connect(window, &QObject::destroyed, &app_,
                                              &QApplication::quit);
                             ScheduleScreenshot(
                                 window, nullptr, [window] { window->close(); }, delay);
                         });
    }

    void OpenStartDialog() {
        gui::StartDialog::Modes modes = gui::ProgramModes();
        if (o_.simulate) {
            std::string sim_port = sim_.port();
            modes.enumerate = [sim_port] {
                ComPortList list;
                list.ports.push_back({sim_port, 0});
                RS232_EnumPorts();
                list.ports.insert(list.ports.end(), g_ComPortList.ports.begin(),
                                  g_ComPortList.ports.end());
                return list;
            };
            // The simulator's port is the one to use: it stands first and is selected.
            cfg_.cfg_port = sim_port;
        }
        dialog_ = std::make_unique<gui::StartDialog>(cfg_, modes);
        gui::StartDialog* dlg = dialog_.get();
        std::string err;
        if (!dlg->InitDialog(&err)) return EndWith({err}, 0);
        // Closing the start dialog ends the program, and a mode still running with it.
        QObject::connect(dlg, &QDialog::finished, &app_, &QApplication::quit);
        dlg->show();
        ScheduleScreenshot(
            dlg, nullptr, [dlg] { dlg->reject(); }, delay_);
    }

    QApplication& app_;
    Options o_;
    ConfigValues cfg_;
    Simulator sim_;
    int status_ = -1;
    int delay_ = std::getenv("KORVEX_SCREENSHOT_DELAY_MS")
                     ? std::atoi(std::getenv("KORVEX_SCREENSHOT_DELAY_MS"))
                     : 1500;
    // The window shown without the start dialog (a file, or --osc); deleted at the end
    // when it is still open.
    QPointer<gui::LiveWindow> window_;
    std::unique_ptr<QWidget> owner_;
    std::unique_ptr<gui::StartDialog> dialog_;
};

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit ends a write with EFBIG, handled like a full disk, instead of
    // killing the program in the middle of a row.
#ifdef SIGXFSZ
    signal(SIGXFSZ, SIG_IGN);  // POSIX only; Windows has no file-size signal
#endif
    if (gui::AnswerBeforeStart(argc, argv, "korvex", Usage)) return 0;
    if (!gui::WindowModulePresent()) return 1;
    QApplication app(argc, argv);
    gui::SetUpApplication(app, "org.korvex.Korvex");
    Options options;
    if (int rc = ParseOptions(argc, argv, &options); rc >= 0) return rc;

    Program program(app, options);
    // Linux programs carry no version record: a separate viewer counts by its presence,
    // and without one Korvex's own viewing mode shows the recordings. Its message, if
    // any, comes before everything else.
    std::string message = ViewerStartupMessage(!FindViewer().empty(), false, Version4{}, true);
    QTimer::singleShot(0, &app, [&app, &program, message] {
        // Taking that box must not end the program before its first window is up.
        app.setQuitOnLastWindowClosed(false);
        QStringList texts;
        if (!message.empty()) texts << QString::fromStdString(message);
        gui::ShowMessages(nullptr, texts, nullptr, [&app, &program] {
            app.setQuitOnLastWindowClosed(true);
            program.Start();
        });
    });
    int status = app.exec();
    return program.status(status);
}
