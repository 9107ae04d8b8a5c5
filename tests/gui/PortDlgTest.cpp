#include "gui/PortDlg.h"

#include <gtest/gtest.h>

#include <QTest>

#include "app/ErrorCapture.h"
#include "app/Language.h"
#include "link/PtyPeer.h"
#include "link/RS232Port.h"

namespace korvex::gui {
namespace {

ComPortList Ports(std::vector<ComPortEntry> entries) {
    ComPortList l;
    l.ports = std::move(entries);
    return l;
}

class PortDlgTest : public ::testing::Test {
protected:
    std::unique_ptr<CPortDlg> Make(ConfigValues cfg, ComPortList ports) {
        CPortDlg::Modes modes;
        modes.oscilloscope = [this](LinkSettings& l) {
            ++runs;
            ran_port = l.port_name;
            controls_off_during_run =
                !dlg->osc_button()->isEnabled() && !dlg->port_list()->isEnabled();
        };
        modes.enumerate = [ports] { return ports; };
        dlg = std::make_unique<CPortDlg>(link, cfg, modes);
        return std::move(dlg);
    }
    void TearDown() override { g_bRussian = false; }

    LinkSettings link;
    std::unique_ptr<CPortDlg> dlg;
    int runs = 0;
    std::string ran_port;
    bool controls_off_during_run = false;
};

TEST_F(PortDlgTest, ConfigurationPreselectsTheDialog) {
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
        auto d = Make(c.cfg, Ports({{"COM1", 0}, {"COM3", 0}, {"COM4", 0}}));
        dlg = std::move(d);
        ASSERT_TRUE(dlg->InitDialog());
        EXPECT_EQ(dlg->port_list()->currentIndex(), c.port) << c.cfg.cfg_port;
        EXPECT_TRUE(dlg->osc_speed(c.osc)->isChecked());
        EXPECT_TRUE(dlg->rate(c.rate)->isChecked());
        EXPECT_TRUE(dlg->rec_speed(c.rec)->isChecked());
        EXPECT_EQ(link.osc_baud, c.osc_baud);
        EXPECT_EQ(link.rate_divider, c.divider);
        EXPECT_EQ(link.rate_index, c.rate + 1);
        EXPECT_EQ(link.av_baud, c.av_baud);
        for (int r = 1; r < 4; ++r) EXPECT_EQ(dlg->rate(r)->isEnabled(), c.osc_baud == 115200);
    }
}

TEST_F(PortDlgTest, SpeedAndRateInterlocks) {
    auto d = Make({}, Ports({{"/dev/ttyS0", 0}}));
    dlg = std::move(d);
    ASSERT_TRUE(dlg->InitDialog());
    QTest::mouseClick(dlg->rate(3), Qt::LeftButton);
    EXPECT_EQ(link.rate_divider, 3);
    EXPECT_EQ(link.rate_index, 4);
    QTest::mouseClick(dlg->osc_speed(2), Qt::LeftButton);
    EXPECT_EQ(link.osc_baud, 38400u);
    EXPECT_TRUE(dlg->rate(0)->isChecked());
    EXPECT_EQ(link.rate_divider, 10);
    EXPECT_EQ(link.rate_index, 1);
    EXPECT_FALSE(dlg->rate(1)->isEnabled());
    QTest::mouseClick(dlg->osc_speed(0), Qt::LeftButton);
    EXPECT_TRUE(dlg->rate(3)->isEnabled());
    EXPECT_TRUE(dlg->rate(0)->isChecked()) << "50 Hz stays chosen";
    QTest::mouseClick(dlg->rate(1), Qt::LeftButton);
    EXPECT_EQ(link.rate_divider, 5);
    QTest::mouseClick(dlg->rec_speed(0), Qt::LeftButton);
    EXPECT_EQ(link.av_baud, 230400u);
    QTest::mouseClick(dlg->rec_speed(1), Qt::LeftButton);
    EXPECT_EQ(link.av_baud, 115200u);
}

TEST_F(PortDlgTest, ModeRunsWithTheSelectedOrTypedPort) {
    auto d = Make({}, Ports({{"/dev/ttyUSB0", 0}, {"/dev/ttyUSB1", 16}}));
    dlg = std::move(d);
    ASSERT_TRUE(dlg->InitDialog());
    EXPECT_EQ(dlg->port_list()->itemText(1), "/dev/ttyUSB1 - Error 16");
    dlg->port_list()->setCurrentIndex(1);
    QTest::mouseClick(dlg->osc_button(), Qt::LeftButton);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ran_port, "/dev/ttyUSB1") << "the name alone, without the error";
    EXPECT_TRUE(controls_off_during_run);
    EXPECT_EQ(link.live_mode, 1);
    EXPECT_TRUE(dlg->osc_button()->isEnabled());

    dlg->port_list()->setEditText("/tmp/korvex-regulator");
    QTest::mouseClick(dlg->osc_button(), Qt::LeftButton);
    EXPECT_EQ(ran_port, "/tmp/korvex-regulator");

    // After a mode the higher rates follow the speed, as at start.
    QTest::mouseClick(dlg->osc_speed(1), Qt::LeftButton);
    QTest::mouseClick(dlg->osc_button(), Qt::LeftButton);
    EXPECT_FALSE(dlg->rate(3)->isEnabled());
    EXPECT_FALSE(dlg->recorder_button()->isEnabled()) << "no recorder mode in this build";
}

TEST_F(PortDlgTest, CaptionsInBothLanguages) {
    auto d = Make({}, Ports({{"COM1", 0}}));
    dlg = std::move(d);
    ASSERT_TRUE(dlg->InitDialog());
    EXPECT_EQ(dlg->windowTitle(), " Korvex v1.3.1");
    EXPECT_EQ(dlg->osc_button()->text(), "Oscilloscope");
    EXPECT_EQ(dlg->diary_button()->text(), "Diary and Parameters");
    g_bRussian = true;
    d = Make({}, Ports({{"COM1", 0}}));
    dlg = std::move(d);
    EXPECT_EQ(dlg->osc_button()->text(), QString::fromUtf8("Осциллограф"));
    EXPECT_EQ(dlg->recorder_button()->text(), QString::fromUtf8("Авар. осциллограф"));
    EXPECT_EQ(dlg->diary_button()->text(), QString::fromUtf8("Дневники и параметры"));
    EXPECT_EQ(dlg->wait_text()->text(), QString::fromUtf8("Считывание ..."));
    QStringList labels;
    for (auto* l : dlg->findChildren<QLabel*>()) labels << l->text();
    for (const char* t : {"Порт", "Скорость:", "F оцифр.:"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(t))) << t;
    EXPECT_EQ(labels.count(QString::fromUtf8("Скорость:")), 2);

    test::ErrorCapture shown;
    d = Make({}, ComPortList{});
    dlg = std::move(d);
    EXPECT_FALSE(dlg->InitDialog());
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"Нет ни одного COM-порта"});
}

TEST_F(PortDlgTest, ComNumbersOfTheConfigurationFindLinuxPorts) {
    auto d =
        Make({"COM4", 0, 0, 0}, Ports({{"/dev/ttyS0", 0}, {"/dev/ttyUSB0", 0}, {"/dev/ttyS3", 0}}));
    dlg = std::move(d);
    ASSERT_TRUE(dlg->InitDialog());
    EXPECT_EQ(dlg->port_list()->currentIndex(), 2) << "COM4 is /dev/ttyS3";
    EXPECT_EQ(dlg->SelectedPortName(), "/dev/ttyS3");
}

TEST_F(PortDlgTest, HeldPortAndNoPortAtAll) {
    test::PtyPeer held;
    std::string err;
    RS232Port* holder = RS232_Open(held.port(), 9600, 0, 0, 100, 0, &err);
    ASSERT_NE(holder, nullptr) << err;
    ComPortList real;
    RS232_EnumPortsFrom({held.port()}, &real);
    auto d = Make({}, real);
    dlg = std::move(d);
    ASSERT_TRUE(dlg->InitDialog());
    EXPECT_EQ(dlg->port_list()->itemText(0).toStdString(), held.port() + " - Error 16");
    RS232_Close(holder);

    test::ErrorCapture shown;
    d = Make({}, ComPortList{});
    dlg = std::move(d);
    EXPECT_EQ(dlg->exec(), QDialog::Rejected);
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"COM-Ports not found"});
}

}  // namespace
}  // namespace korvex::gui
