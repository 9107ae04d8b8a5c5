// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/StartDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QSignalSpy>

#include "app/Version.h"
#include "gui/Application.h"
#include "gui/RecorderDialog.h"
#include "gui/SimulatedRegulator.h"
#include "link/PtyPeer.h"

namespace korvex::gui {
namespace {

ComPortList Ports(std::vector<ComPortEntry> entries) {
    ComPortList l;
    l.ports = std::move(entries);
    return l;
}

using test::Find;

class StartDialogTest : public ::testing::Test {
protected:
    // A dialog whose oscilloscope mode only records what it was started with; the mode
    // "runs" until `running` is deleted.
    std::unique_ptr<StartDialog> Make(ConfigValues cfg, ComPortList ports) {
        StartDialog::Modes modes;
        modes.oscilloscope = [this](const LinkSettings& l, StartDialog& d) -> QObject* {
            ++runs;
            ran = l;
            controls_off_during_run = !Find<QPushButton>(&d, "oscilloscope")->isEnabled() &&
                                      !Find<QComboBox>(&d, "ports")->isEnabled();
            running = new QObject(&d);
            return running;
        };
        modes.enumerate = [ports] { return ports; };
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
        int port;
        int osc, rate, rec;
        uint32_t osc_baud;
        int divider;
        uint32_t av_baud;
    } cases[] = {
        {{"COM4", 0, 0, 0}, 2, 0, 0, 1, 115200, 10, 115200},
        {{"COM0", 0, 0, 0}, 0, 0, 0, 1, 115200, 10, 115200},  // COM=abc matches nothing
        {{"", 57600, 166, 0}, 0, 1, 0, 1, 57600, 10, 115200},
        {{"", 115200, 166, 230400}, 0, 0, 3, 0, 115200, 3, 230400},
        {{"", 38400, 125, 1}, 0, 2, 0, 1, 38400, 10, 115200},
        {{"", 0, 125, 0}, 0, 0, 2, 1, 115200, 4, 115200},
    };
    for (const auto& c : cases) {
        dlg = Make(c.cfg, Ports({{"COM1", 0}, {"COM3", 0}, {"COM4", 0}}));
        ASSERT_TRUE(dlg->InitDialog());
        const LinkSettings& link = dlg->settings();
        EXPECT_EQ(Find<QComboBox>(dlg.get(), "ports")->currentIndex(), c.port) << c.cfg.cfg_port;
        EXPECT_TRUE(Radio(("oscSpeed" + std::to_string(c.osc)).c_str())->isChecked());
        EXPECT_TRUE(Radio(("rate" + std::to_string(c.rate)).c_str())->isChecked());
        EXPECT_TRUE(Radio(("recSpeed" + std::to_string(c.rec)).c_str())->isChecked());
        EXPECT_EQ(link.osc_baud, c.osc_baud);
        EXPECT_EQ(link.rate_divider, c.divider);
        EXPECT_EQ(link.rate_index, c.rate + 1);
        EXPECT_EQ(link.av_baud, c.av_baud);
        for (int r = 1; r < 4; ++r)
            EXPECT_EQ(Radio(("rate" + std::to_string(r)).c_str())->isEnabled(),
                      c.osc_baud == 115200);
    }
}

TEST_F(StartDialogTest, SpeedAndRateInterlocksAsClicked) {
    dlg = Make({}, Ports({{"/dev/ttyS0", 0}}));
    ASSERT_TRUE(dlg->InitDialog());
    ASSERT_TRUE(test::ShowAndWait(dlg.get()));
    const LinkSettings& link = dlg->settings();
    test::ClickAsUser(Radio("rate3"));
    EXPECT_EQ(link.rate_divider, 3);
    EXPECT_EQ(link.rate_index, 4);
    test::ClickAsUser(Radio("oscSpeed2"));
    EXPECT_EQ(link.osc_baud, 38400u);
    EXPECT_TRUE(Radio("rate0")->isChecked());
    EXPECT_EQ(link.rate_divider, 10);
    EXPECT_EQ(link.rate_index, 1);
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
}

TEST_F(StartDialogTest, AModeRunsWithTheSelectedOrTypedPortAndTheControlsOff) {
    dlg = Make({}, Ports({{"/dev/ttyUSB0", 0}, {"/dev/ttyUSB1", 16}}));
    ASSERT_TRUE(dlg->InitDialog());
    ASSERT_TRUE(test::ShowAndWait(dlg.get()));
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
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(osc->isEnabled());

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
    dlg = Make({}, Ports({{"COM1", 0}}));
    ASSERT_TRUE(dlg->InitDialog());
    EXPECT_EQ(dlg->windowTitle().toStdString(), TitleWithVersion(""));
    EXPECT_EQ(Find<QPushButton>(dlg.get(), "oscilloscope")->text(), "Oscilloscope");
    EXPECT_EQ(Find<QPushButton>(dlg.get(), "diary")->text(), "Diary and Parameters");
    g_bRussian = true;
    dlg = Make({}, Ports({{"COM1", 0}}));
    EXPECT_EQ(Find<QPushButton>(dlg.get(), "oscilloscope")->text(),
              QString::fromUtf8("Осциллограф"));
    EXPECT_EQ(Find<QPushButton>(dlg.get(), "recorder")->text(),
              QString::fromUtf8("Авар. осциллограф"));
    EXPECT_EQ(Find<QPushButton>(dlg.get(), "diary")->text(),
              QString::fromUtf8("Дневники и параметры"));
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
    dlg->ShowProgress(true);
    ASSERT_TRUE(test::ShowAndWait(dlg.get()));
    test::ExpectNoTextClipped(dlg.get());

    dlg = Make({}, ComPortList{});
    std::string err;
    EXPECT_FALSE(dlg->InitDialog(&err));
    EXPECT_EQ(err, "Нет ни одного COM-порта");
}

TEST_F(StartDialogTest, ComNumbersOfTheConfigurationFindLinuxPortsAndAHeldPortIsMarked) {
    dlg =
        Make({"COM4", 0, 0, 0}, Ports({{"/dev/ttyS0", 0}, {"/dev/ttyUSB0", 0}, {"/dev/ttyS3", 0}}));
    ASSERT_TRUE(dlg->InitDialog());
    EXPECT_EQ(Find<QComboBox>(dlg.get(), "ports")->currentIndex(), 2) << "COM4 is /dev/ttyS3";
    EXPECT_EQ(dlg->SelectedPortName(), "/dev/ttyS3");

    test::PtyPeer held;
    std::string err;
    RS232Port* holder = RS232_Open(held.port(), 9600, 0, 0, 100, 0, &err);
    ASSERT_NE(holder, nullptr) << err;
    ComPortList real;
    RS232_EnumPortsFrom({held.port()}, &real);
    dlg = Make({}, real);
    ASSERT_TRUE(dlg->InitDialog());
    EXPECT_EQ(Find<QComboBox>(dlg.get(), "ports")->itemText(0).toStdString(),
              held.port() + " - Error 16");
    RS232_Close(holder);
}

// The program's own modes, opened by clicks through the window system.
class StartDialogProgram : public test::SimulatedRegulator {};

TEST_F(StartDialogProgram, TheModesOpenFromTheirButtonsOnTheSimulatorAndReturn) {
    auto dlg = ProgramDialog();
    QSignalSpy ended(dlg.get(), &StartDialog::modeEnded);
    auto* osc = Find<QPushButton>(dlg.get(), "oscilloscope");
    // The oscilloscope ended by Esc, then again at once (the port was released) by Exit.
    for (int run = 1; run <= 2; ++run) {
        test::ClickAsUser(osc);
        QPointer<LiveWindow> live = qobject_cast<LiveWindow*>(dlg->running_mode());
        ASSERT_TRUE(live);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(live));
        EXPECT_TRUE(dlg->isVisible()) << "the start dialog stays, its controls off";
        EXPECT_FALSE(osc->isEnabled());
        ASSERT_TRUE(test::WaitFor([&] { return live->session().follower().rows() > 5; }));
        if (run == 1)
            test::KeyAsUser(live, Qt::Key_Escape);
        else
            test::ClickAsUser(Find<QPushButton>(live, "exit"));
        ASSERT_TRUE(test::WaitFor([&] { return live.isNull(); }));
        EXPECT_EQ(ended.count(), run);
        EXPECT_TRUE(osc->isEnabled());
        EXPECT_TRUE(GotStopByte());
    }
    ASSERT_TRUE(InNormalMode());

    // Emergency Recorder: its window over the start dialog, whose controls are off; Esc
    // ends the mode and the regulator leaves ModBus mode.
    auto* recorder_button = Find<QPushButton>(dlg.get(), "recorder");
    test::ClickAsUser(recorder_button);
    ASSERT_TRUE(test::WaitFor([&] { return dlg->findChild<RecorderDialog*>() != nullptr; }));
    QPointer<RecorderDialog> recorder = dlg->findChild<RecorderDialog*>();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(recorder));
    ASSERT_TRUE(test::WaitFor([&] { return recorder->model().rowCount() == 4; }));
    EXPECT_FALSE(recorder_button->isEnabled());
    test::KeyAsUser(recorder, Qt::Key_Escape);
    ASSERT_TRUE(test::WaitFor([&] { return recorder.isNull() && ended.count() == 3; }));
    EXPECT_TRUE(recorder_button->isEnabled());
    EXPECT_TRUE(InNormalMode());
    EXPECT_TRUE(shown.texts().empty());
}

}  // namespace
}  // namespace korvex::gui
