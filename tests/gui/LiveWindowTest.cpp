// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/LiveWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "app/StrPrintf.h"
#include "app/Version.h"
#include "gui/AboutDialog.h"
#include "gui/MessageBoxes.h"
#include "gui/SimulatedRegulator.h"

namespace korvex::gui {
namespace {

using test::Find;

std::string Rows(int n, int channels) {
    std::string s;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < channels; ++c) s += StrPrintf("%f\t", r + c * 0.5);
        s += "\r\n";
    }
    return s;
}

QString Text(QWidget* window, const char* name) {
    QLabel* l = Find(window, name);
    return l ? l->text() : QString();
}

// The window in its viewing mode, on a finished recording.
class ViewingTest : public ::testing::Test {
protected:
    std::unique_ptr<LiveWindow> Open(const std::string& content) {
        test::WriteFileBytes(file, content);
        auto session = std::make_unique<OscSession>();
        std::string err;
        if (!session->OpenFile(file, &err)) return nullptr;
        auto w = std::make_unique<LiveWindow>(std::move(session));
        w->session().Tick();
        return w;
    }
    test::TempDir tmp;
    std::string file = tmp.path() + "/rec.trd";
};

TEST_F(ViewingTest, TenRowsAFlatStartAndNinePointsAtTheRight) {
    auto w = Open(
        "#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#XN=Time (sec)\r\n#F=50.000000\r\n"
        "#XX=0,0.020000\r\n" +
        Rows(10, 2));
    ASSERT_TRUE(w);
    EXPECT_TRUE(Text(w.get(), "statusLine").contains("Fsam=50.00 Hz , Samples=0.010 K"))
        << Text(w.get(), "statusLine").toStdString();
    EXPECT_EQ(Text(w.get(), "fileLine").toStdString(), "File: " + file + " ,  2 channels");
    EXPECT_EQ(w->windowTitle().toStdString(), TitleWithVersion("COM1"));
    const ChannelBuffer& b = w->session().follower().buffer(0);
    for (size_t i = 0; i < 3991; ++i) ASSERT_EQ(b[i], 0.0) << i;
    for (size_t i = 3991; i < 4000; ++i) EXPECT_EQ(b[i], double(i - 3990));
    // The plot holds the same: 4000 points, newest at 3999.
    ASSERT_EQ(w->graph()->graph(1)->data()->size(), 4000);
    EXPECT_EQ(w->graph()->graph(1)->data()->at(3999)->value, 9.5);
    EXPECT_EQ(w->graph()->graph(1)->data()->at(0)->value, 0.5);
    // One caption per row in turn from the second row: channel 1's last turn was row 9.
    EXPECT_EQ(Find<QCheckBox>(w.get(), "channel1")->text(), "8.500");
    EXPECT_TRUE(Text(w.get(), "errorLine").isEmpty());
    EXPECT_TRUE(Find<QCheckBox>(w.get(), "writeToFile")->isHidden());
    EXPECT_TRUE(Find<QPushButton>(w.get(), "selvo")->isHidden());
}

TEST_F(ViewingTest, MarkersRatesAndChannelCounts) {
    auto w = Open("#CHAN=2\r\n#NAME=A B\r\n#F=0\r\n" + Rows(3, 2) + "#ERRSEQ\r\n" + Rows(2, 2) +
                  "#ERRSEQ\r\n");
    ASSERT_TRUE(w);
    EXPECT_EQ(Text(w.get(), "errorLine"), "Seq. Errors: 2");
    EXPECT_TRUE(Text(w.get(), "statusLine").contains("Fsam=1.00 Hz , Samples=0.005 K"));

    std::string names;
    for (int c = 0; c < 20; ++c) names += "c" + std::to_string(c) + " ";
    w = Open("#CHAN=20\r\n#NAME=" + names + "\r\n#F=50\r\n" + Rows(2, 20));
    ASSERT_TRUE(w);
    EXPECT_TRUE(Text(w.get(), "fileLine").endsWith(",  15 (20) channels"));
    EXPECT_FALSE(Find<QCheckBox>(w.get(), "channel14")->isHidden());
    EXPECT_EQ(w->graph()->plot_count(), 15);
}

TEST_F(ViewingTest, ZoomAndYScaling) {
    auto w = Open("#CHAN=1\r\n#NAME=A\r\n#F=50.000000\r\n" + Rows(5, 1));
    ASSERT_TRUE(w);
    ASSERT_TRUE(test::ShowAndWait(w.get()));
    EXPECT_EQ(w->zoom(), 4);
    EXPECT_EQ(Text(w.get(), "timeText"), "T=20.0 sec (1000 points)");
    EXPECT_EQ(Text(w.get(), "tenth"), "2.00 sec");
    EXPECT_EQ(Text(w.get(), "whole"), "20.0 sec");
    EXPECT_EQ(w->graph()->xAxis->range().lower, 3000);
    EXPECT_EQ(w->graph()->xAxis->range().upper, 3999);
    EXPECT_EQ(w->graph()->xAxis->label(), "Screen Time = 20.0 sec");
    auto* more = Find<QPushButton>(w.get(), "morePoints");
    auto* fewer = Find<QPushButton>(w.get(), "fewerPoints");
    test::ClickAsUser(more);
    test::ClickAsUser(more);
    EXPECT_EQ(w->zoom(), 1);
    EXPECT_FALSE(more->isEnabled());
    EXPECT_EQ(w->graph()->xAxis->range().lower, 0);
    for (int i = 0; i < 4; ++i) test::ClickAsUser(fewer);
    EXPECT_EQ(w->zoom(), 16);
    w->FewerPoints();
    EXPECT_EQ(w->zoom(), 16);
    EXPECT_FALSE(fewer->isEnabled());
    EXPECT_EQ(Text(w.get(), "timeText"), "T=5.0 sec (250 points)");

    test::ClickAsUser(Find<QCheckBox>(w.get(), "autoScale"));
    auto* y_max = Find<QLineEdit>(w.get(), "yMax");
    EXPECT_TRUE(y_max->isEnabled());
    w->graph()->SetYRange(-1, 1);
    w->StepYMax(-1);
    EXPECT_DOUBLE_EQ(w->graph()->YMax(), 1.2);
    EXPECT_EQ(y_max->text(), "1.200000");
    w->graph()->SetYRange(-1, 1);
    w->StepYMin(+1);
    EXPECT_DOUBLE_EQ(w->graph()->YMin(), -1.2);
    EXPECT_EQ(Find<QLineEdit>(w.get(), "yMin")->text(), "-1.200000");
    w->SetAutoScale(true);
    EXPECT_TRUE(y_max->text().isEmpty());
    EXPECT_FALSE(y_max->isEnabled());

    // Unchecking a channel hides its trace; checking shows it again.
    test::ClickAsUser(Find<QCheckBox>(w.get(), "channel0"));
    EXPECT_FALSE(w->graph()->PlotVisible(0));
    test::ClickAsUser(Find<QCheckBox>(w.get(), "channel0"));
    EXPECT_TRUE(w->graph()->PlotVisible(0));
}

// Messages open window-modal without a nested loop: the caller goes on at once, what an
// error number means stands under the text, and what follows the message waits for OK.
TEST(MessageBoxes, ShownInOrderOverTheirWindowThenWhatFollows) {
    QWidget window;
    ASSERT_TRUE(test::ShowAndWait(&window));
    test::BoxTaker user;
    bool after = false;
    ShowMessages(&window, {"RS232_Open(): Open port /dev/ttyUSB9 : error 2", "second"}, nullptr,
                 [&] { after = true; });
    EXPECT_FALSE(after) << "the message was not waited for";
    ASSERT_TRUE(test::WaitFor([&] { return after; }));
    ASSERT_EQ(user.seen.size(), 2u);
    EXPECT_EQ(user.seen[0].text, "RS232_Open(): Open port /dev/ttyUSB9 : error 2");
    EXPECT_EQ(user.seen[0].detail, "No such file or directory");
    EXPECT_TRUE(user.seen[0].window_modal);
    EXPECT_EQ(user.seen[1].text, "second");
    EXPECT_EQ(user.deepest_loop, 0);
    EXPECT_EQ(user.most_open, 1);
}

// The live window on the simulated regulator's stream.
class LiveWindowTest : public test::SimulatedRegulator {
protected:
    // Opens the window and waits until it is on screen and has followed `rows` rows.
    bool Open(long rows) {
        w = OpenOscilloscope(settings);
        return w && QTest::qWaitForWindowExposed(w) &&
               test::WaitFor([&] { return w->session().follower().rows() > rows; });
    }
    QPointer<LiveWindow> w;
};

TEST_F(LiveWindowTest, ThePanelTakesKeysBesideTheLiveWindowAndExitStopsTheStream) {
    // One caption per row in turn: after 13 rows every channel shows its value.
    ASSERT_TRUE(Open(13));
    for (int c = 0; c < 12; ++c)
        EXPECT_FALSE(Find<QCheckBox>(w, ("channel" + std::to_string(c)).c_str())->text().isEmpty());
    EXPECT_TRUE(Find<QCheckBox>(w, "channel12")->isHidden());

    // "Write to File" off, as a user clicks it: the note says why the display stands
    // still; on again: a new recording.
    std::string first = w->session().file();
    auto* write = Find<QCheckBox>(w, "writeToFile");
    test::ClickAsUser(write);
    EXPECT_FALSE(w->session().writing());
    EXPECT_TRUE(Find(w, "writeNote")->isVisible());
    test::ClickAsUser(write);
    EXPECT_TRUE(w->session().writing());
    EXPECT_FALSE(Find(w, "writeNote")->isVisible());
    EXPECT_NE(w->session().file(), first);

    // SELVO, then ENT on the panel, clicked through the window system: the regulator gets
    // the key and its menu comes up on the panel while the live window stays open.
    test::ClickAsUser(Find<QPushButton>(w, "selvo"));
    FrontPanelDialog* panel = w->panel(0);
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    // Where the window leaves the screen room on one side (a window manager may have
    // placed it anywhere).
    QRect screen = panel->screen()->availableGeometry(), wf = w->frameGeometry();
    const int need = panel->frameGeometry().width() + 8;
    if (screen.right() - wf.right() >= need || wf.left() - screen.left() >= need) {
        EXPECT_FALSE(panel->frameGeometry().intersects(wf)) << "beside the window";
    }
    ASSERT_TRUE(test::WaitFor([&] { return panel->display_text().contains("Ug="); }));
    sim.ClearWire();
    test::ClickAsUser(panel->findChild<QPushButton*>("key_ENT"));
    ASSERT_TRUE(test::WaitFor([&] { return panel->display_text().contains("Measurements"); }))
        << panel->display_text().toStdString();
    auto received = sim.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), 0x0D), received.end());
    EXPECT_TRUE(w->isVisible());

    // Exit, as clicked: the stream stops, the window and its panel go, the port is free.
    test::ClickAsUser(Find<QPushButton>(w, "exit"));
    ASSERT_TRUE(test::WaitFor([&] { return w.isNull(); }));
    EXPECT_TRUE(GotStopByte());
    ExpectPortFree();
    EXPECT_TRUE(shown.texts().empty());
}

// Under a window manager too, whose frames come after show(): the second panel clears
// the first one's frame.
TEST_F(LiveWindowTest, BothPanelsOpenClearOfEachOther) {
    model.stream_options->panel = 3;
    ASSERT_TRUE(Open(0));
    test::ClickAsUser(Find<QPushButton>(w, "selvo"));
    ASSERT_TRUE(w->panel(0) && w->panel(1));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w->panel(0)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w->panel(1)));
    ASSERT_TRUE(test::WaitFor([&] {
        return !w->panel(0)->frameGeometry().intersects(w->panel(1)->frameGeometry());
    })) << "the panels overlap";
    // Esc on a panel, its display clicked first as a user makes it active: that panel
    // goes, the live window and its recording stay.
    for (int i = 0; i < 2; ++i) {
        FrontPanelDialog* panel = w->panel(i);
        test::ClickAsUser(panel->findChild<QLabel*>("display"));
        test::KeyAsUser(panel, Qt::Key_Escape);
        ASSERT_TRUE(test::WaitFor([&] { return !panel->isVisible(); })) << i;
        ASSERT_TRUE(w && w->isVisible()) << "Esc on panel " << i << " closed the live window";
        EXPECT_TRUE(w->session().writing());
    }
    // Esc in the live window itself ends the session.
    test::KeyAsUser(w, Qt::Key_Escape);
    EXPECT_TRUE(test::WaitFor([&] { return w.isNull() || !w->isVisible(); }));
}

TEST_F(LiveWindowTest, AWorkerErrorIsShownAndTheWindowCloses) {
    ASSERT_TRUE(Open(5));
    shown.hold = true;
    model.stream_faults->nan = 1;
    // The message over the window first; the window goes after OK.
    ASSERT_TRUE(test::WaitFor([&] { return !test::BoxTaker::Open().empty(); }));
    ASSERT_FALSE(w.isNull());
    EXPECT_EQ(test::BoxTaker::Open().front()->parentWidget(), w.data());
    shown.hold = false;
    ASSERT_TRUE(test::WaitFor([&] { return w.isNull(); }));
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"Too big value for channel 'Uf'"});
    EXPECT_TRUE(shown.seen[0].window_modal);
}

TEST_F(LiveWindowTest, NoTextIsClippedInRussian) {
    g_bRussian = true;
    ASSERT_TRUE(Open(10));
    test::ClickAsUser(Find<QCheckBox>(w, "writeToFile"));  // the note shows
    w->ShowPanels();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w->panel(0)));
    // The layouts take the note and the panel's texts in.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    test::ExpectNoTextClipped(w, {"fileLine", "statusLine"});
    test::ExpectNoTextClipped(w->panel(0));
    // About... opens over the window, which takes no clicks until its OK.
    test::ClickAsUser(Find<QPushButton>(w, "about"));
    QPointer<AboutDialog> about = w->findChild<AboutDialog*>();
    ASSERT_TRUE(about);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    test::ExpectNoTextClipped(about);
    test::ClickAsUser(Find<QPushButton>(w, "exit"));
    EXPECT_TRUE(w->isVisible()) << "the About box keeps the window from its Exit";
    test::ClickAsUser(about->findChild<QPushButton*>());
    ASSERT_TRUE(test::WaitFor([&] { return about.isNull(); }));
    test::ClickAsUser(Find<QPushButton>(w, "exit"));
    EXPECT_TRUE(test::WaitFor([&] { return w.isNull() || !w->isVisible(); }));
}

}  // namespace
}  // namespace korvex::gui
