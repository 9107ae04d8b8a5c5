// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/StartDialog.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QProgressBar>
#include <QSignalSpy>

#include "app/Version.h"
#include "gui/Application.h"
#include "gui/RecorderDialog.h"
#include "gui/ReportWindow.h"
#include "gui/SimulatedRegulator.h"

namespace korvex::gui {

// Takes the URLs that the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void Open(const QUrl& url) { opened.push_back(url.toLocalFile()); }
};

namespace {

using test::Find;

class StartDialogTest : public ::testing::Test {
protected:
    // A dialog whose oscilloscope mode only records what it was started with; the mode
    // "runs" until `running` is deleted.
    std::unique_ptr<StartDialog> Make(ConfigValues cfg, std::vector<ComPortEntry> ports) {
        StartDialog::Modes modes;
        modes.oscilloscope = [this](const LinkSettings& l, StartDialog& d) -> QObject* {
            ++runs;
            ran = l;
            controls_off_during_run = !Find<QPushButton>(&d, "oscilloscope")->isEnabled() &&
                                      !Find<QComboBox>(&d, "ports")->isEnabled();
            return running = new QObject(&d);
        };
        modes.enumerate = [ports] { return ComPortList{ports}; };
        return std::make_unique<StartDialog>(cfg, modes);
    }
    QRadioButton* Radio(const char* name) {
        return Find<QRadioButton>(dlg.get(), QString::fromLatin1(name));
    }
    void TearDown() override { g_bRussian = false; }

    std::unique_ptr<StartDialog> dlg;
    int runs = 0;
    LinkSettings ran;
    QObject* running = nullptr;
    bool controls_off_during_run = false;
};

TEST_F(StartDialogTest, ConfigurationPreselectsTheDialog) {
    struct Case {
        ConfigValues cfg;
        int port, osc, rate, rec, divider;
        uint32_t osc_baud, av_baud;
    } cases[] = {
        {{"COM4", 0, 0, 0}, 2, 0, 0, 1, 10, 115200, 115200},  // COM4 is /dev/ttyS3
        {{"COM0", 0, 0, 0}, 0, 0, 0, 1, 10, 115200, 115200},  // matches nothing
        {{"", 57600, 166, 0}, 0, 1, 0, 1, 10, 57600, 115200},
        {{"", 115200, 166, 230400}, 0, 0, 3, 0, 3, 115200, 230400},
        {{"", 38400, 125, 1}, 0, 2, 0, 1, 10, 38400, 115200},
        {{"", 0, 125, 0}, 0, 0, 2, 1, 4, 115200, 115200},
    };
    for (const auto& c : cases) {
        dlg = Make(c.cfg, {{"/dev/ttyS0", 0}, {"/dev/ttyUSB0", 0}, {"/dev/ttyS3", 0}});
        ASSERT_TRUE(dlg->InitDialog());
        const LinkSettings& link = dlg->settings();
        EXPECT_EQ(Find<QComboBox>(dlg.get(), "ports")->currentIndex(), c.port) << c.cfg.cfg_port;
        EXPECT_TRUE(Radio(("oscSpeed" + std::to_string(c.osc)).c_str())->isChecked());
        EXPECT_TRUE(Radio(("rate" + std::to_string(c.rate)).c_str())->isChecked());
        EXPECT_TRUE(Radio(("recSpeed" + std::to_string(c.rec)).c_str())->isChecked());
        EXPECT_EQ(std::tuple(link.osc_baud, link.rate_divider, link.rate_index, link.av_baud),
                  std::tuple(c.osc_baud, c.divider, c.rate + 1, c.av_baud))
            << c.cfg.cfg_port;
        EXPECT_EQ(Radio("rate3")->isEnabled(), c.osc_baud == 115200);
    }
}

// The speeds and rates as clicked, then a mode with the port selected or typed.
TEST_F(StartDialogTest, SpeedAndRateInterlocksAsClickedAndAModeRunsWithTheControlsOff) {
    dlg = Make({}, {{"/dev/ttyUSB0", 0}, {"/dev/ttyUSB1", 16}});
    ASSERT_TRUE(dlg->InitDialog());
    ASSERT_TRUE(test::ShowAndWait(dlg.get()));
    const LinkSettings& link = dlg->settings();
    test::ClickAsUser(Radio("rate3"));
    EXPECT_EQ(std::pair(link.rate_divider, link.rate_index), std::pair(3, 4));
    test::ClickAsUser(Radio("oscSpeed2"));
    EXPECT_EQ(link.osc_baud, 38400u);
    EXPECT_TRUE(Radio("rate0")->isChecked());
    EXPECT_EQ(std::pair(link.rate_divider, link.rate_index), std::pair(10, 1));
    EXPECT_FALSE(Radio("rate1")->isEnabled());
    test::ClickAsUser(Radio("oscSpeed0"));
    EXPECT_TRUE(Radio("rate3")->isEnabled());
    EXPECT_TRUE(Radio("rate0")->isChecked()) << "50 Hz stays chosen";
    test::ClickAsUser(Radio("rate1"));
    EXPECT_EQ(link.rate_divider, 5);
    test::ClickAsUser(Radio("recSpeed0"));
    EXPECT_EQ(link.av_baud, 230400u);
    test::ClickAsUser(Radio("recSpeed1"));
    EXPECT_EQ(link.av_baud, 115200u);

    auto* ports = Find<QComboBox>(dlg.get(), "ports");
    auto* osc = Find<QPushButton>(dlg.get(), "oscilloscope");
    EXPECT_EQ(ports->itemText(1), "/dev/ttyUSB1 - Error 16");
    ports->setCurrentIndex(1);
    test::ClickAsUser(osc);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ran.port_name, "/dev/ttyUSB1") << "the name alone, without the error";
    EXPECT_EQ(ran.live_mode, 1);
    EXPECT_TRUE(controls_off_during_run);
    EXPECT_FALSE(osc->isEnabled()) << "while the mode runs";
    test::ClickAsUser(osc);
    EXPECT_EQ(runs, 1) << "one mode at a time";
    QSignalSpy ended(dlg.get(), &StartDialog::modeEnded);
    delete running;
    EXPECT_EQ(std::pair(ended.count(), osc->isEnabled()), std::pair(qsizetype{1}, true));

    ports->setEditText("/tmp/korvex-regulator");
    test::ClickAsUser(osc);
    EXPECT_EQ(ran.port_name, "/tmp/korvex-regulator");
    delete running;

    // After a mode the higher rates follow the speed, as at start.
    test::ClickAsUser(Radio("oscSpeed1"));
    test::ClickAsUser(osc);
    delete running;
    EXPECT_FALSE(Radio("rate3")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(dlg.get(), "recorder")->isEnabled()) << "no recorder mode given";
}

TEST_F(StartDialogTest, CaptionsInBothLanguages) {
    const char* captions[2][3] = {{"Oscilloscope", "Emergency Recorder", "Diary and Parameters"},
                                  {"Осциллограф", "Авар. осциллограф", "Дневники и параметры"}};
    for (bool ru : {false, true}) {
        g_bRussian = ru;
        dlg = Make({}, {{"COM1", 0}});
        for (int i = 0; const char* name : {"oscilloscope", "recorder", "diary"})
            EXPECT_EQ(Find<QPushButton>(dlg.get(), name)->text(),
                      QString::fromUtf8(captions[ru][i++]));
    }
    EXPECT_EQ(Find<QLabel>(dlg.get(), "wait")->text(), QString::fromUtf8("Считывание ..."));
    QStringList labels;
    for (auto* l : dlg->findChildren<QLabel*>()) labels << l->text();
    for (const char* t : {"Порт", "Скорость:", "F оцифр.:"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(t))) << t;
    EXPECT_EQ(labels.count(QString::fromUtf8("Скорость:")), 2);
    // Qt's own texts (the export's file dialog, standard buttons) in Russian too, and the
    // program's icon in the title bar.
    ASSERT_TRUE(InstallQtTranslations(true));
    QDialogButtonBox buttons(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8("Отмена"));
    InstallQtTranslations(false);
    EXPECT_FALSE(dlg->windowIcon().availableSizes().isEmpty());

    // Nothing is clipped, the progress and wait text included.
    ASSERT_TRUE(dlg->InitDialog());
    EXPECT_EQ(dlg->windowTitle().toStdString(), TitleWithVersion(""));
    dlg->ShowProgress(true);
    ASSERT_TRUE(test::ShowAndWait(dlg.get()));
    test::ExpectNoTextClipped(dlg.get());

    dlg = Make({}, {});
    std::string err;
    EXPECT_FALSE(dlg->InitDialog(&err));
    EXPECT_EQ(err, "Нет ни одного COM-порта");
}

// The program's own modes, opened by clicks through the window system.
class StartDialogProgram : public test::SimulatedRegulator {};

TEST_F(StartDialogProgram, TheModesOpenFromTheirButtonsOnTheSimulatorAndReturn) {
    auto dlg = ProgramDialog();
    QSignalSpy ended(dlg.get(), &StartDialog::modeEnded);
    // The oscilloscope's window; the start dialog stays, its controls off until Esc has
    // ended the mode. (What a close does to the stream, the port and the regulator's
    // mode: LiveWindowTest and RecorderModeTest.)
    auto* osc = Find<QPushButton>(dlg.get(), "oscilloscope");
    test::ClickAsUser(osc);
    QPointer<LiveWindow> live = qobject_cast<LiveWindow*>(dlg->running_mode());
    ASSERT_TRUE(live && QTest::qWaitForWindowExposed(live));
    EXPECT_TRUE(dlg->isVisible() && !osc->isEnabled());
    test::KeyAsUser(live, Qt::Key_Escape);
    ASSERT_TRUE(test::WaitFor([&] { return live.isNull() && osc->isEnabled(); }));
    // The recorder at once, on the port the oscilloscope released, the same way.
    auto* rec = Find<QPushButton>(dlg.get(), "recorder");
    test::ClickAsUser(rec);
    QPointer<RecorderDialog> recorder;
    ASSERT_TRUE(test::WaitFor([&] {
        recorder = dlg->findChild<RecorderDialog*>();
        return recorder && recorder->model().rowCount() == 4;
    }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(recorder));
    EXPECT_FALSE(rec->isEnabled());
    test::KeyAsUser(recorder, Qt::Key_Escape);
    ASSERT_TRUE(test::WaitFor([&] { return recorder.isNull() && rec->isEnabled(); }));
    EXPECT_EQ(ended.count(), 2);
    EXPECT_TRUE(shown.texts().empty());
}

class DiaryMode : public test::SimulatedRegulator {};

TEST_F(DiaryMode, TheStartDialogShowsProgressAndTheReportOpensInItsWindow) {
    g_bRussian = true;
    auto dlg = ProgramDialog();
    auto* bar = dlg->findChild<QProgressBar*>();
    auto* diary = dlg->findChild<QPushButton*>("diary");

    // While it reads: the controls off, the bar and "Считывание ..." shown and moving,
    // and the GUI thread free to paint (a timer keeps firing).
    int ticks = 0, max_value = 0;
    bool controls_off = true, bar_shown = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (!dlg->running_mode()) return;
        controls_off = controls_off && !diary->isEnabled();
        bar_shown = bar_shown || (bar->isVisible() && dlg->findChild<QLabel*>("wait")->isVisible());
        max_value = std::max(max_value, bar->value());
    });
    timer.start(10);
    QSignalSpy ended(dlg.get(), &StartDialog::modeEnded);
    test::ClickAsUser(diary);
    ASSERT_NE(dlg->running_mode(), nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return ended.count() == 1; }, 10000));
    timer.stop();
    EXPECT_TRUE(controls_off && bar_shown);
    EXPECT_GT(max_value, 50);
    EXPECT_GT(ticks, 20) << "the dialog kept running its event loop";
    EXPECT_TRUE(diary->isEnabled() && !bar->isVisible()) << "after the read";
    EXPECT_TRUE(shown.texts().empty());

    // The report, decoded from Windows-1251, in its own window.
    ReportWindow* report = dlg->findChild<ReportWindow*>();
    ASSERT_TRUE(report && QTest::qWaitForWindowExposed(report));
    QString text = report->text();
    EXPECT_TRUE(text.contains(QString::fromUtf8("********** Дневник-1 (100 сообщ) **********\n")))
        << text.left(400).toStdString();
    EXPECT_FALSE(text.contains(QLatin1Char('\r')));
    test::ExpectNoTextClipped(report);
    // Its buttons hand the folder and the file to the desktop.
    UrlCatcher urls;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &urls, "Open");
    test::ClickAsUser(report->findChild<QPushButton*>(QStringLiteral("openFolder")));
    test::ClickAsUser(report->findChild<QPushButton*>(QStringLiteral("openEditor")));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(urls.opened.size(), 2);
    EXPECT_TRUE(urls.opened[1].endsWith(QStringLiteral(".info.txt")))
        << urls.opened[1].toStdString();
    EXPECT_EQ(urls.opened[0], QFileInfo(urls.opened[1]).absolutePath());
    test::KeyAsUser(report, Qt::Key_Escape);
    EXPECT_TRUE(test::WaitFor([&] { return dlg->findChild<ReportWindow*>() == nullptr; }));
}

// A read that fails: its message window-modal over the start dialog, the mode still
// running under it; after OK the mode ends without a report and the dialog is usable.
TEST_F(DiaryMode, AFailedReadsMessageComesOverTheDialogAndTheModeEndsAfterOk) {
    auto dlg = ProgramDialog();
    QSignalSpy ended(dlg.get(), &StartDialog::modeEnded);
    model.parameters->faults->short_value = 1;  // the first parameter value read fails
    shown.hold = true;
    test::ClickAsUser(Find<QPushButton>(dlg.get(), "diary"));
    ASSERT_TRUE(test::WaitFor([&] { return !test::BoxTaker::Open().empty(); }, 10000));
    EXPECT_EQ(test::BoxTaker::Open().front()->parentWidget(), dlg.get());
    EXPECT_TRUE(ended.isEmpty() && dlg->running_mode() && !dlg->findChild<ReportWindow*>());
    shown.hold = false;
    ASSERT_TRUE(test::WaitFor([&] { return ended.count() == 1; }));
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"Bad Length (Read Param Value)"});
    EXPECT_TRUE(shown.seen[0].window_modal);
    EXPECT_EQ(dlg->findChild<ReportWindow*>(), nullptr) << "a report after a failed read";
    test::ClickAsUser(Find<QRadioButton>(dlg.get(), "recSpeed0"));
    EXPECT_EQ(dlg->settings().av_baud, 230400u) << "the dialog takes no clicks";
}

}  // namespace
}  // namespace korvex::gui

#include "StartDialogTest.moc"
