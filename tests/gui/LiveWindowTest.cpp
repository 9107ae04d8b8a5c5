// SPDX-License-Identifier: GPL-3.0-or-later
// The oscilloscope's window and its session. (The stream's bytes, its messages, the
// follower's status line and captions are the osc library's own tests.)
#include "gui/LiveWindow.h"

#include <gtest/gtest.h>

#include <chrono>

#include "app/StrPrintf.h"
#include "app/Version.h"
#include "gui/AboutDialog.h"
#include "gui/MessageBoxes.h"
#include "gui/PanelPlacement.h"
#include "gui/SimulatedRegulator.h"

namespace korvex::gui {
namespace {

using test::Find;

// `n` rows of `channels` values: row r, channel c holds r + c / 2.
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
    LiveWindow* Open(const std::string& content) {
        test::WriteFileBytes(file, content);
        auto session = std::make_unique<OscSession>();
        std::string err;
        if (!session->OpenFile(file, &err)) return nullptr;
        w = std::make_unique<LiveWindow>(std::move(session));
        w->session().Tick();
        return w.get();
    }
    test::TempDir tmp;
    std::string file = tmp.path() + "/rec.trd";
    std::unique_ptr<LiveWindow> w;
};

TEST_F(ViewingTest, TenRowsAFlatStartAndNinePointsAtTheRightThenMarkersAndManyChannels) {
    ASSERT_TRUE(Open(std::string("#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#XN=Time (sec)\r\n") +
                     "#F=50.000000\r\n#XX=0,0.020000\r\n" + Rows(10, 2)));
    EXPECT_EQ(Text(w.get(), "fileLine").toStdString(), "File: " + file + " ,  2 channels");
    EXPECT_EQ(w->windowTitle().toStdString(), TitleWithVersion("COM1"));
    const ChannelBuffer& b = w->session().follower().buffer(0);
    for (size_t i = 0; i < 4000; ++i) ASSERT_EQ(b[i], i < 3991 ? 0.0 : double(i - 3990)) << i;
    // The plot holds the same: 4000 points, newest at 3999.
    ASSERT_EQ(w->graph()->graph(1)->data()->size(), 4000);
    EXPECT_EQ(w->graph()->graph(1)->data()->at(3999)->value, 9.5);
    EXPECT_EQ(Find<QCheckBox>(w.get(), "channel1")->text(), "8.500");
    EXPECT_TRUE(Text(w.get(), "errorLine").isEmpty());
    EXPECT_TRUE(Find<QCheckBox>(w.get(), "writeToFile")->isHidden());
    EXPECT_TRUE(Find<QPushButton>(w.get(), "selvo")->isHidden());

    ASSERT_TRUE(Open("#CHAN=2\r\n#NAME=A B\r\n#F=0\r\n" + Rows(3, 2) + "#ERRSEQ\r\n" + Rows(2, 2) +
                     "#ERRSEQ\r\n"));
    EXPECT_EQ(Text(w.get(), "errorLine"), "Seq. Errors: 2");

    std::string names;
    for (int c = 0; c < 20; ++c) names += "c" + std::to_string(c) + " ";
    ASSERT_TRUE(Open("#CHAN=20\r\n#NAME=" + names + "\r\n#F=50\r\n" + Rows(2, 20)));
    EXPECT_TRUE(Text(w.get(), "fileLine").endsWith(",  15 (20) channels"));
    EXPECT_FALSE(Find<QCheckBox>(w.get(), "channel14")->isHidden());
    EXPECT_EQ(w->graph()->plot_count(), 15);
}

TEST_F(ViewingTest, ZoomAndYScaling) {
    ASSERT_TRUE(Open("#CHAN=1\r\n#NAME=A\r\n#F=50.000000\r\n" + Rows(5, 1)));
    ASSERT_TRUE(test::ShowAndWait(w.get()));
    EXPECT_EQ(w->zoom(), 4);
    EXPECT_EQ(Text(w.get(), "timeText"), "T=20.0 sec (1000 points)");
    EXPECT_EQ(Text(w.get(), "tenth") + ", " + Text(w.get(), "whole"), "2.00 sec, 20.0 sec");
    EXPECT_EQ(w->graph()->xAxis->range(), QCPRange(3000, 3999));
    EXPECT_EQ(w->graph()->xAxis->label(), "Screen Time = 20.0 sec");
    auto* more = Find<QPushButton>(w.get(), "morePoints");
    auto* fewer = Find<QPushButton>(w.get(), "fewerPoints");
    for (int i = 0; i < 2; ++i) test::ClickAsUser(more);
    EXPECT_EQ(std::pair(w->zoom(), more->isEnabled()), std::pair(1, false));
    EXPECT_EQ(w->graph()->xAxis->range().lower, 0);
    for (int i = 0; i < 4; ++i) test::ClickAsUser(fewer);
    EXPECT_EQ(w->zoom(), 16);
    w->FewerPoints();
    EXPECT_EQ(std::pair(w->zoom(), fewer->isEnabled()), std::pair(16, false));
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
    EXPECT_TRUE(y_max->text().isEmpty() && !y_max->isEnabled());

    // Unchecking a channel hides its trace; checking shows it again.
    for (bool visible : {false, true}) {
        test::ClickAsUser(Find<QCheckBox>(w.get(), "channel0"));
        EXPECT_EQ(w->graph()->PlotVisible(0), visible);
    }
}

// Messages open window-modal: the caller goes on at once, what an error number means
// stands under the text, and what follows the message waits for OK. (No nested loop and
// one box at a time: the SimulatedRegulator fixture checks every test for both.)
TEST(MessageBoxes, ShownInOrderOverTheirWindowThenWhatFollows) {
    QWidget window;
    ASSERT_TRUE(test::ShowAndWait(&window));
    test::BoxTaker user;
    bool after = false;
    ShowMessages(&window, {"RS232_Open(): Open port /dev/ttyUSB9 : error 2", "second"}, nullptr,
                 [&] { after = true; });
    EXPECT_FALSE(after) << "the message was not waited for";
    ASSERT_TRUE(test::WaitFor([&] { return after; }));
    ASSERT_EQ(user.texts(), (std::vector<std::string>{
                                "RS232_Open(): Open port /dev/ttyUSB9 : error 2", "second"}));
    EXPECT_EQ(user.seen[0].detail, "No such file or directory");
    EXPECT_TRUE(user.seen[0].window_modal);
}

// Beside the window where the screen has room; on a laptop's 1366 x 768 over the oldest
// part of the plot, never over the Y limits, the buttons or the newest data.
TEST(PanelPlacement, BesideTheWindowElseOverTheOldestPartOfThePlot) {
    const std::vector<QSize> two = {QSize(200, 240), QSize(170, 130)};
    const QRect plot(60, 40, 440, 420), laptop(0, 0, 1366, 740), wide(50, 10, 1250, 740);
    struct Case {
        QRect screen, window, plot;
        std::vector<QPoint> at;
    } cases[] = {
        {QRect(0, 0, 1920, 1080), QRect(100, 50, 1250, 740), plot, {{1357, 50}, {1357, 298}}},
        {QRect(0, 0, 1920, 1080), QRect(660, 50, 1250, 740), plot, {{452, 50}, {482, 298}}},
        {QRect(), QRect(0, 0, 1250, 740), plot, {{1257, 0}, {1257, 248}}},
        // No room beside: over the plot's left part, the second panel under the first...
        {laptop, wide, plot, {{60, 40}, {60, 288}}},
        // ... or beside the first where the plot is too low for both.
        {laptop, wide, QRect(60, 40, 440, 300), {{60, 40}, {268, 40}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlacePanels(c.screen, c.window, c.plot, two), c.at) << c.window.left();
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

// In Russian, as most users run it: no text is clipped, the note's and the panel's included.
TEST_F(LiveWindowTest, ThePanelTakesKeysBesideTheLiveWindowAndExitStopsTheStream) {
    g_bRussian = true;
    ASSERT_TRUE(Open(13));
    EXPECT_FALSE(Find<QCheckBox>(w, "channel11")->text().isEmpty());
    EXPECT_TRUE(Find<QCheckBox>(w, "channel12")->isHidden());

    // "Write to File" off, as a user clicks it: the recording is closed and the display
    // stands still while acquisition goes on, and the note says why; on again: a new
    // recording.
    const std::string first = w->session().file();
    auto* write = Find<QCheckBox>(w, "writeToFile");
    test::ClickAsUser(write);
    EXPECT_FALSE(w->session().writing());
    EXPECT_TRUE(Find(w, "writeNote")->isVisible());
    const long rows = w->session().follower().rows();
    const size_t size = test::ReadFileBytes(first).size();
    QTest::qWait(150);
    EXPECT_EQ(w->session().follower().rows(), rows);
    EXPECT_EQ(test::ReadFileBytes(first).size(), size);
    EXPECT_TRUE(w->session().running());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);  // the note's layout
    test::ExpectNoTextClipped(w, {"fileLine", "statusLine"});
    test::ClickAsUser(write);
    EXPECT_TRUE(w->session().writing());
    EXPECT_FALSE(Find(w, "writeNote")->isVisible());
    EXPECT_NE(w->session().file(), first);
    ASSERT_TRUE(test::WaitFor([&] { return w->session().follower().rows() > 3; }));
    EXPECT_LT(w->session().follower().rows(), rows) << "the new file's rows, from its first";

    // SELVO, then ENT on the panel, clicked through the window system: the regulator gets
    // the key and its menu comes up on the panel while the live window stays open. (The
    // key's byte on the wire: OscStreamTest.KeepAliveAndKeys.)
    test::ClickAsUser(Find<QPushButton>(w, "selvo"));
    FrontPanelDialog* panel = w->panel(0);
    ASSERT_TRUE(panel && QTest::qWaitForWindowExposed(panel));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    test::ExpectNoTextClipped(panel);
    // Beside the window where the screen leaves room on one side (a window manager may
    // have placed it anywhere).
    QRect screen = panel->screen()->availableGeometry(), wf = w->frameGeometry();
    const int need = panel->frameGeometry().width() + 8;
    const bool room = screen.right() - wf.right() >= need || wf.left() - screen.left() >= need;
    EXPECT_TRUE(!room || !panel->frameGeometry().intersects(wf)) << "beside the window";
    ASSERT_TRUE(test::WaitFor([&] { return panel->display_text().contains("Ug="); }));
    test::ClickAsUser(panel->findChild<QPushButton*>("key_ENT"));
    ASSERT_TRUE(test::WaitFor([&] { return panel->display_text().contains("Measurements"); }))
        << panel->display_text().toStdString();
    EXPECT_TRUE(w->isVisible());

    // About... opens over the window, which takes no clicks until its OK.
    test::ClickAsUser(Find<QPushButton>(w, "about"));
    QPointer<AboutDialog> about = w->findChild<AboutDialog*>();
    ASSERT_TRUE(about && QTest::qWaitForWindowExposed(about));
    test::ExpectNoTextClipped(about);
    test::ClickAsUser(Find<QPushButton>(w, "exit"));
    EXPECT_TRUE(w->isVisible()) << "the About box keeps the window from its Exit";
    test::ClickAsUser(about->findChild<QPushButton*>());
    ASSERT_TRUE(test::WaitFor([&] { return about.isNull(); }));

    // Exit, as clicked: the stream stops, the window and its panel go, the port is free.
    test::ClickAsUser(Find<QPushButton>(w, "exit"));
    ASSERT_TRUE(test::WaitFor([&] { return w.isNull(); }));
    EXPECT_TRUE(test::WaitFor([&] {
        return !sim.Received().empty() && sim.Received().back() == 0xC0;  // the stop byte
    }));
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

// The regulator goes silent: the worker waits up to 1000 ms for the next packet. A stop
// wakes it; the stop sequence runs at once.
TEST_F(LiveWindowTest, AStopDuringAPacketTimeOutIsImmediate) {
    OscSession session;
    std::vector<std::string> messages;
    ASSERT_TRUE(session.StartLive(settings, &messages)) << messages.size();
    ASSERT_TRUE(test::WaitFor([&] { return session.follower().rows() > 5; }));
    model.stream_faults->silent = -1;
    QTest::qWait(50);
    auto t0 = std::chrono::steady_clock::now();
    session.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
    EXPECT_FALSE(session.running());
}

}  // namespace
}  // namespace korvex::gui
