// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer as a user drives it: the mouse and keys through the window system, the
// readings it shows, and what it writes. (What the recording holds, its statistics and
// the exported bytes are the files library's own tests.)
#include "gui/ViewerWindow.h"

#include <gtest/gtest.h>

#include <QDoubleSpinBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <cmath>
#include <utility>

#include "app/ErrorCapture.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "gui/ChannelTableModel.h"
#include "gui/RecordingsDock.h"
#include "gui/UserInput.h"
#include "gui/ViewerPlot.h"
#include "gui/ViewerSession.h"

namespace korvex::gui {
namespace {

using M = ChannelTableModel;

class ViewerWindowTest : public ::testing::Test {
protected:
    // A recorder-style file: Us steps from 1.0 to 0.5 at 2 s and back at 3 s, 250 rows/s.
    void WriteRecording(int rows, const std::string& tail = "") {
        std::string file =
            "#FILE=\r\n#INFO=File : 0002_(2026.11.25_03.41.55.020)\r\n#NAME=Us If\r\n#CHAN=2\r\n"
            "#XX=0,0.004000\r\n#F=250.000000\r\n";
        for (int r = 0; r < rows; ++r)
            file += StrPrintf("%f %f\r\n", r >= 500 && r < 750 ? 0.5 : 1.0, r * 0.001);
        test::WriteFileBytes(path, file + tail);
    }
    // The window, shown, with `file` read; `settings`: UseSettings() first.
    void Open(const std::string& file, bool settings = false) {
        window = new ViewerWindow;
        if (settings) window->UseSettings();
        ASSERT_TRUE(test::ShowAndWait(window));
        QSignalSpy loaded(window, &ViewerWindow::loaded);
        window->Open(QString::fromStdString(file));
        ASSERT_TRUE(loaded.wait(5000));
        ASSERT_EQ(loaded.at(0).at(0).toString(), QString());
        plot = window->plot();
        QTest::qWait(50);
    }
    void OpenRecording(int rows, const std::string& tail = "") {
        WriteRecording(rows, tail);
        Open(path);
    }
    void TearDown() override {
        delete window;
        g_bRussian = false;
    }
    // The point of the plot's first pane at a time, in the window's coordinates.
    QPoint At(double seconds) {
        QCPAxisRect* rect = plot->axisRect(0);
        QPoint p(int(std::lround(rect->axis(QCPAxis::atBottom)->coordToPixel(seconds))),
                 rect->rect().center().y());
        return plot->mapTo(window, p);
    }
    QWindow* handle() { return window->windowHandle(); }
    void Click(double seconds, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QTest::mouseClick(handle(), Qt::LeftButton, keys, At(seconds));
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QTest::mousePress(handle(), Qt::LeftButton, keys, from);
        QTest::mouseMove(handle(), from + (to - from) / 2);
        QTest::mouseMove(handle(), to);
        QTest::mouseRelease(handle(), Qt::LeftButton, keys, to);
    }

    test::TempDir tmp;
    std::string path = tmp.path() + "/rec.trd";
    test::BoxTaker errors;
    ViewerWindow* window = nullptr;
    ViewerPlot* plot = nullptr;
};

TEST_F(ViewerWindowTest, ClicksPlaceTheCursorsTheReadingsFollowAndTheRangeExports) {
    OpenRecording(2000);
    EXPECT_DOUBLE_EQ(plot->view().upper, 7.996);  // the whole file: 2000 rows, 4 ms apart
    EXPECT_TRUE(window->cursor_text().startsWith("Cursors:"));
    Click(1.5);
    Click(2.5, Qt::ShiftModifier);
    // A click lands on the row nearest the pointer: within a pixel of the time asked.
    const double px = plot->view().size() / plot->axisRect(0)->width();
    EXPECT_NEAR(plot->cursor(ViewerPlot::kCursorA) * 0.004, 1.5, px);
    EXPECT_NEAR(plot->cursor(ViewerPlot::kCursorB) * 0.004, 2.5, px);
    // Placed on rows exactly, for readings checked to the digit.
    plot->SetCursor(ViewerPlot::kCursorA, 375);  // 1.5 s
    plot->SetCursor(ViewerPlot::kCursorB, 625);  // 2.5 s
    EXPECT_EQ(window->cursor_text(),
              QString::fromUtf8("A: 1.500000 s (2026-11-25 03:41:56.520)    B: 2.500000 s "
                                "(2026-11-25 03:41:57.520)    \xce\x94t = 1.000000 s    "
                                "1/\xce\x94t = 1 Hz"));
    M* m = window->channels();
    // (The clicks' own rows may differ by one: wait for the readings of these.)
    ASSERT_TRUE(test::WaitFor(
        [&] { return m->Text(1, M::kAtA) == "0.375000" && m->Text(1, M::kAtB) == "0.625000"; }));
    EXPECT_EQ(m->Text(0, M::kAtA) + " " + m->Text(0, M::kDiff) + " " + m->Text(1, M::kDiff),
              "1.000000 -0.500000 0.250000");
    // Rows 375..625, both cursors' rows taken: 125 at 1.0, 126 at 0.5.
    EXPECT_EQ(m->Text(0, M::kMean), StrPrintf("%.6f", (125 + 63.0) / 251).c_str());

    // A cursor's line is dragged.
    Drag(At(1.5), At(0.8));
    EXPECT_NEAR(plot->cursor(ViewerPlot::kCursorA) * 0.004, 0.8, px);
    EXPECT_EQ(plot->cursor(ViewerPlot::kCursorB), 625);

    // The range between the cursors exported, and a picture.
    plot->SetCursor(ViewerPlot::kCursorA, 500);
    plot->SetCursor(ViewerPlot::kCursorB, 509);
    window->SetExportRangeOnly(true);
    QSignalSpy exported(window, &ViewerWindow::exported);
    const std::string csv = tmp.path() + "/part.csv", png = tmp.path() + "/view.png";
    ASSERT_TRUE(window->ExportTo(ViewerWindow::Format::Csv, QString::fromStdString(csv), false));
    ASSERT_TRUE(exported.wait(5000));
    EXPECT_EQ(exported.at(0).at(0).toString(), QString());
    // Rows 500..509, both cursors' rows taken, under the caption line.
    std::string text = test::ReadFileBytes(csv);
    EXPECT_EQ(text.substr(0, 27), "Time (s),Us,If\r\n2,0.5,0.5\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11);
    ASSERT_TRUE(window->ExportTo(ViewerWindow::Format::Png, QString::fromStdString(png), false));
    EXPECT_GT(test::ReadFileBytes(png).size(), 1000u);
    // An existing file is not replaced without the user's word; the box is the window's.
    EXPECT_FALSE(window->ExportTo(ViewerWindow::Format::Png, QString::fromStdString(png), false));
    ASSERT_TRUE(test::WaitFor([&] { return errors.texts().size() == 1; }));
    EXPECT_EQ(errors.texts()[0], "'" + png + "' already exists");
    EXPECT_TRUE(errors.seen[0].window_modal);
    test::ExpectNoTextClipped(window, {QStringLiteral("cursorText"), QStringLiteral("infoText")});

    // Hiding a channel by its box in the list hides its graph.
    QTableView* table = window->table();
    QRect box = table->visualRect(m->index(1, 0));
    QTest::mouseClick(handle(), Qt::LeftButton, Qt::NoModifier,
                      table->viewport()->mapTo(window, QPoint(box.left() + 8, box.center().y())));
    EXPECT_FALSE(m->Visible(1) || plot->ChannelVisible(1));
}

TEST_F(ViewerWindowTest, ZoomPanFitTheWayBackAndF5) {
    OpenRecording(2000, "1.000000 0.");  // the last row still being written
    EXPECT_EQ(window->session()->data().rows(), 2000u);
    const QCPRange whole = plot->view();
    // The wheel zooms around the pointer: the time under it stays where it is.
    QPoint local = plot->mapFrom(window, At(2.0));
    QWheelEvent wheel(local, plot->mapToGlobal(local), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    const QCPRange zoomed = plot->view();
    EXPECT_NEAR(zoomed.size(), whole.size() * 0.64, 1e-9);
    EXPECT_NEAR(plot->axisRect(0)->axis(QCPAxis::atBottom)->pixelToCoord(local.x()), 2.0, 0.02);
    EXPECT_GT(window->scroll_bar()->maximum(), 0);

    // A drag pans by the distance dragged.
    Drag(At(3.0), At(3.0) + QPoint(-100, 0));
    double dragged = 100 * zoomed.size() / plot->axisRect(0)->width();
    EXPECT_NEAR(plot->view().lower, zoomed.lower + dragged, zoomed.size() / 100);
    EXPECT_EQ(plot->cursor(ViewerPlot::kCursorA), -1);  // a drag is not a click

    // Back three times (a key pan is one more step) returns to the whole file, forward
    // once to the zoom.
    test::KeyAsUser(window, Qt::Key_Left);
    for (int i = 0; i < 3; ++i) QTest::keyClick(handle(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(plot->view(), whole);
    QTest::keyClick(handle(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(plot->view(), zoomed);

    // Ctrl+drag zooms to the box; a double click fits the whole file.
    Drag(At(zoomed.lower + 0.5), At(zoomed.lower + 1.5), Qt::ControlModifier);
    EXPECT_NEAR(plot->view().size(), 1.0, 0.05);
    const long a = plot->cursor(ViewerPlot::kCursorA);
    QTest::mouseDClick(handle(), Qt::LeftButton, Qt::NoModifier, At(plot->view().center()));
    EXPECT_EQ(plot->view(), whole);
    EXPECT_EQ(plot->cursor(ViewerPlot::kCursorA), a) << "a double click leaves cursor A";

    // The file grew: F5 reads it on and keeps the view and the cursors.
    plot->SetCursor(ViewerPlot::kCursorA, 100);
    plot->SetView(QCPRange(1, 2));
    WriteRecording(2500);
    QSignalSpy loaded(window, &ViewerWindow::loaded);
    test::KeyAsUser(window, Qt::Key_F5);  // may see the reload through while it waits
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(5000));
    EXPECT_EQ(window->session()->data().rows(), 2500u);
    EXPECT_EQ(plot->cursor(ViewerPlot::kCursorA), 100);
    EXPECT_NEAR(plot->view().lower, 1.0, 1e-9);
}

// One sample of 300,000 stands out; drawn whole, its pixel column must show it over the
// plot's background.
TEST_F(ViewerWindowTest, ASingleSampleSpikeShowsInTheWholeFile) {
    std::string file = "#FILE=COM1\r\n#CHAN=1\r\n#NAME=U \r\n#F=166.666667\r\n#XX=0,0.006000\r\n";
    const int rows = 300000, spike = 123457;
    for (int r = 0; r < rows; ++r) file += r == spike ? "1.000000\t\r\n" : "0.000000\t\r\n";
    test::WriteFileBytes(path, file);
    Open(path);
    plot->replot(QCustomPlot::rpImmediateRefresh);
    QImage image = plot->toPixmap().toImage();
    QCPAxisRect* rect = plot->axisRect(0);
    int x = int(std::floor(rect->axis(QCPAxis::atBottom)->coordToPixel(spike * 0.006)));
    int top = int(rect->axis(QCPAxis::atLeft)->coordToPixel(1.0)), found = 0;
    for (int dx = -1; dx <= 1; ++dx)
        for (int y = top - 2; y <= top + 2; ++y)
            found += image.pixelColor(x + dx, y) != ViewerPlot::Background() ? 1 : 0;
    EXPECT_GT(found, 0) << "the spike at x=" << x << " is not drawn";
}

TEST_F(ViewerWindowTest, InRussianEveryTextOfTheWindowIsRussian) {
    g_bRussian = true;
    // A sequence error, a row without its second value and a row being written.
    OpenRecording(1000, "#ERRSEQ\r\n0.5\r\n1.000000 0.");
    EXPECT_EQ(test::Find(window, "infoText")->text(),
              QString::fromUtf8("строк: 1001, 4.000000 с, 250 Гц, ошибки посл.: 1, неполных "
                                "строк: 1, не показаны последние байты (11) - строка, которая "
                                "ещё пишется (F5 дочитывает)"));
    Click(1.5);
    Click(2.5, Qt::ShiftModifier);
    QTest::mouseMove(handle(), At(1.0));
    ASSERT_GE(plot->cursor(ViewerPlot::kCursorB), 0);
    ASSERT_FALSE(test::Find(window, "hoverText")->text().isEmpty());

    QStringList texts = {window->statusBar()->currentMessage()};
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->isVisible()) texts << label->text();
    for (int c = 0; c < M::kColumns; ++c)
        texts << window->channels()->headerData(c, Qt::Horizontal).toString();
    for (int i = 0; i < plot->itemCount(); ++i)
        if (auto* item = qobject_cast<QCPItemText*>(plot->item(i)); item && item->visible())
            texts << item->text();
    for (int p = 0; p < plot->pane_count(); ++p) {
        texts << plot->axisRect(p)->axis(QCPAxis::atBottom)->label();
        QCPLegend* legend = plot->pane_legend(p);
        for (int i = 0; i < legend->itemCount(); ++i)
            if (auto* item = qobject_cast<QCPPlottableLegendItem*>(legend->item(i)))
                texts << item->plottable()->name();
    }
    // Latin words left are English, but for the channel names, the cursors A and B, time t
    // and the key F5, which are names in any language.
    static const QRegularExpression word(QStringLiteral("[A-Za-z][A-Za-z0-9]*"));
    const QStringList names = {"Us", "If", "A", "B", "t", "F5"};
    for (const QString& text : texts)
        for (auto it = word.globalMatch(text); it.hasNext();)
            EXPECT_TRUE(names.contains(it.next().captured())) << text.toStdString();
    EXPECT_TRUE(errors.texts().empty());
}

// A relay's COMTRADE record: units in the list, status channels in a pane of their own,
// values on the side the user picks, and a CSV for a Russian spreadsheet.
TEST_F(ViewerWindowTest, AComtradeRecordOpensOnTheSideChosenAndExportsWithADecimalComma) {
    Open(KORVEX_TEST_DATA "/comtrade/r1999_binary.cfg");
    M* m = window->channels();
    EXPECT_EQ(m->Text(0, M::kName) + "|" + m->Text(1, M::kName) + "|" + m->Text(2, M::kName),
              "Ua, V|Ib, A|S1");
    EXPECT_EQ(plot->pane_count(), 2);
    EXPECT_EQ(plot->panes()[1] * 10 + plot->panes()[2], 1);
    // The trigger 1.5 ms after the first sample, across midnight.
    EXPECT_EQ(test::Find(window, "infoText")->text(),
              "100 rows, 0.049500 s, 2000 Hz, trigger at 0.001500 s");
    const double recorded = window->session()->data().value(0, 5);
    QSignalSpy loaded(window, &ViewerWindow::loaded);
    for (QAction* a : window->findChildren<QAction*>())
        if (a->text() == "Primary") a->trigger();
    ASSERT_TRUE(test::WaitFor([&] { return loaded.count() == 1; }, 5000));
    EXPECT_DOUBLE_EQ(window->session()->data().value(0, 5), recorded * 110000 / 100);

    const std::string csv = tmp.path() + "/record.csv";
    QSignalSpy exported(window, &ViewerWindow::exported);
    ASSERT_TRUE(window->ExportTo(ViewerWindow::Format::CsvDecimalComma, QString::fromStdString(csv),
                                 false));
    ASSERT_TRUE(test::WaitFor([&] { return exported.count() == 1; }, 5000));
    EXPECT_EQ(test::ReadFileBytes(csv).substr(0, 33), "Time (s);Ua;Ib;S1;S2;S3;S4;S5;S6;");
}

TEST_F(ViewerWindowTest, AFailedOpenNamesTheFileAndLeavesNoStaleStatus) {
    const std::string bad = tmp.path() + "/bad.trd", missing = tmp.path() + "/missing.trd";
    const std::string bad_text = "'" + bad + "':\nUndefined NumChan & Name[]";
    test::WriteFileBytes(bad, "1 2\r\n3 4\r\n");
    OpenRecording(100);
    const QString status = test::Find(window, "infoText")->text();
    EXPECT_EQ(status, "100 rows, 0.396000 s, 250 Hz");
    // The recording shown stays, with its status line rather than "Reading ...".
    QSignalSpy loaded(window, &ViewerWindow::loaded);
    // Both failures come before the first box is taken: the second box waits for it.
    errors.hold = true;
    for (const std::string& file : {bad, missing}) {
        window->Open(QString::fromStdString(file));
        ASSERT_TRUE(
            test::WaitFor([&, n = loaded.count() + 1] { return loaded.count() == n; }, 5000));
    }
    EXPECT_EQ(test::BoxTaker::Open().size(), 1u);
    errors.hold = false;
    EXPECT_EQ(test::Find(window, "infoText")->text(), status);
    EXPECT_EQ(window->session()->path().toStdString(), path);
    // A message that names the file already is left as it is.
    ASSERT_TRUE(test::WaitFor([&] { return errors.texts().size() == 2; }));
    EXPECT_EQ(errors.texts(),
              (std::vector<std::string>{bad_text, "Open File '" + missing + "' error"}));
    EXPECT_TRUE(window->isVisible());

    // A window opened for a file it cannot read stands until its message is taken, then
    // goes.
    errors.seen.clear();
    errors.hold = true;
    QPointer<ViewerWindow> first = new ViewerWindow;
    ASSERT_TRUE(test::ShowAndWait(first));
    first->Open(QString::fromStdString(bad));
    ASSERT_TRUE(test::WaitFor([&] { return !test::BoxTaker::Open().empty(); }, 5000));
    EXPECT_FALSE(first.isNull());
    errors.hold = false;
    EXPECT_TRUE(test::WaitFor([&] { return first.isNull(); }));
    EXPECT_EQ(errors.texts(), std::vector<std::string>{bad_text});
}

// Closing a window of 2000 channels took minutes while the plot emptied its legend one
// entry at a time.
TEST_F(ViewerWindowTest, ThousandsOfChannelsKeepTheLegendShortAndTheWindowCloses) {
    test::WriteFileBytes(path, "#FILE=\r\n#CHAN=2000\r\n#NAME=U\r\n#F=50.000000\r\n1\r\n2\r\n");
    Open(path);
    ASSERT_EQ(plot->plottableCount(), 2000);
    plot->replot(QCustomPlot::rpImmediateRefresh);
    QCPLegend* legend = plot->pane_legend(0);
    // The first channels by name, as many as the pane has room for, then one line for all
    // the others; a channel hidden gives its place to the next.
    const int n = legend->itemCount() - 1;
    EXPECT_TRUE(n > 0 && n <= ViewerPlot::kLegendChannels) << n;
    auto listed = [&](int c) { return legend->itemWithPlottable(plot->plottable(c)) != nullptr; };
    EXPECT_TRUE(listed(n - 1) && !listed(n));
    M* m = window->channels();
    m->setData(m->index(0, M::kName), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_TRUE(!listed(0) && listed(n));
    EXPECT_EQ(legend->itemCount(), n + 1);

    QPointer<ViewerWindow> closing(std::exchange(window, nullptr));
    closing->close();
    EXPECT_TRUE(test::WaitFor([&] { return closing.isNull(); }));
}

TEST_F(ViewerWindowTest, KeysMoveTheActiveCursorZZoomsToABAndBackRestoresTheValues) {
    OpenRecording(2000);
    Click(1.5);
    const long a = plot->cursor(ViewerPlot::kCursorA) + 203;
    // A row a key, Shift: a tenth of the view (7.996 s: 200 rows); Tab: B; Z: A..B.
    for (int i = 0; i < 3; ++i) test::KeyAsUser(window, Qt::Key_Right);
    QTest::keyClick(handle(), Qt::Key_Right, Qt::ShiftModifier);
    plot->SetCursor(ViewerPlot::kCursorB, 1001);
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Right, Qt::Key_Z}) test::KeyAsUser(window, key);
    const RecordingData& data = window->session()->data();
    EXPECT_EQ(plot->view(), QCPRange(data.time(size_t(a)), data.time(1002)));
    // A box zoom fixes the pane's values; back, they follow the view again as they were.
    QCPAxis* y = plot->axisRect(0)->axis(QCPAxis::atLeft);
    const QCPRange view = plot->view(), values = y->range();
    Drag(At(view.lower + view.size() * 0.2) - QPoint(0, 20), At(view.center()) + QPoint(0, 20),
         Qt::ControlModifier);
    QTest::keyClick(handle(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_TRUE(plot->view() == view && plot->AutoY(0) && y->range() == values);
}

// A fault recording (7 stator channels, 2 of the field, 4 flags) in a window with settings.
TEST_F(ViewerWindowTest, TheWindowFitsALaptopLegendsStandBesideThePanesABPicturesShowAToB) {
    std::string file =
        "#FILE=\r\n#NAME=State Write Prot RF Ua Ub Uc Ia Ib Ic P If Uf\r\n"
        "#CHAN=13\r\n#XX=0,0.004000\r\n#F=250.000000\r\n";
    for (int r = 0; r < 2000; ++r) file += StrPrintf("0 1 0 0 %d 2 3 4 5 6 7 8 9\r\n", r % 50);
    test::WriteFileBytes(path, file);
    Open(path, true);
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_TRUE(test::WaitFor([&] { return screen.contains(window->frameGeometry()); }));
    // A 1366 x 768 laptop less a panel and the frame; a size an 800 x 600 screen takes back.
    for (QSize size : {QSize(1358, 700), QSize(780, 480)}) {
        window->resize(size);
        ASSERT_TRUE(test::WaitFor([&] { return window->size() == size; })) << size.width();
        EXPECT_TRUE(window->rect().contains(window->statusBar()->geometry()));
    }
    plot->replot(QCustomPlot::rpImmediateRefresh);
    // The stator's legend beside its pane, cut to its height with an "... and N more" line.
    QCPLegend* stator = plot->pane_legend(0);  // P, channel 10, is its last
    EXPECT_TRUE(stator->visible() && !stator->itemWithPlottable(plot->plottable(10)) &&
                !qobject_cast<QCPPlottableLegendItem*>(stator->item(stator->itemCount() - 1)));
    EXPECT_LE(stator->outerRect().bottom(), plot->axisRect(0)->outerRect().bottom());
    for (int p = 0; p < 3; ++p)
        EXPECT_FALSE(stator->outerRect().intersects(plot->axisRect(p)->rect()));

    // A picture of A..B is drawn over A..B at its own size; the window's view stays.
    plot->SetCursor(ViewerPlot::kCursorA, 500);
    plot->SetCursor(ViewerPlot::kCursorB, 1001);
    window->SetExportRangeOnly(true);
    QCPRange drawn, view = plot->view();
    auto spy = QObject::connect(plot, &QCustomPlot::afterLayout, [&] {
        if (plot->viewport().size() == QSize(ViewerPlot::kPictureWidth, ViewerPlot::kPictureHeight))
            drawn = plot->axisRect(0)->axis(QCPAxis::atBottom)->range();
    });
    const QString png = QString::fromStdString(tmp.path() + "/ab.png");
    ASSERT_TRUE(window->ExportTo(ViewerWindow::Format::Png, png, false));
    QObject::disconnect(spy);
    const RecordingData& data = window->session()->data();
    EXPECT_EQ(drawn, QCPRange(data.time(500), data.time(1001)));
    EXPECT_TRUE(plot->view() == view && !plot->CanGoBack());

    std::exchange(window, nullptr)->close();  // and back at the size it was left at
    Open(path, true);
    EXPECT_TRUE(test::WaitFor([&] { return window->size() == QSize(780, 480); }));
}

// A second recording of the event laid over the first: 1.5 s later by its clock, 1000 rows/s,
// Us stepping down at its row 500 (0.5 s), If its row / 1000. Each file reads its own rows.
TEST_F(ViewerWindowTest, AnAddedRecordingLinesUpByClockAndAtTheCursors) {
    OpenRecording(2000);  // Us steps down at row 500 (2 s), 250 rows/s
    std::string file =
        "#FILE=\r\n#INFO=File : 0002_(2026.11.25_03.41.56.520)\r\n#NAME=Us If\r\n#CHAN=2\r\n"
        "#XX=0,0.001000\r\n#F=1000.000000\r\n";
    for (int r = 0; r < 3000; ++r) file += StrPrintf("%f %f\r\n", r >= 500 ? 0.5 : 1.0, r * 0.001);
    const std::string relay = tmp.path() + "/relay.trd", missing = tmp.path() + "/missing.trd";
    test::WriteFileBytes(relay, file);
    M* m = window->channels();
    QSignalSpy added(window, &ViewerWindow::recordingAdded);
    window->AddRecording(QString::fromStdString(missing));
    ASSERT_TRUE(test::WaitFor([&] { return added.count() == 1; }, 5000));
    ASSERT_TRUE(test::WaitFor([&] { return test::BoxTaker::Open().empty() && m->rowCount(); }));
    EXPECT_EQ(errors.texts(), std::vector<std::string>{"Open File '" + missing + "' error"});
    EXPECT_EQ(m->rowCount(), 2);
    window->AddRecording(QString::fromStdString(relay));
    ASSERT_TRUE(test::WaitFor([&] { return added.count() == 2; }, 5000));
    ASSERT_EQ(m->rowCount(), 4);
    EXPECT_EQ(m->Text(3, M::kName), "relay: If");
    EXPECT_EQ(plot->pane_count(), 2);
    QTest::qWait(50);
    test::ClickAsUser(test::Find<QPushButton>(window, "byClock1"));
    EXPECT_EQ(window->added_offset(1), 1.5);
    Click(2.0);
    const long a = plot->cursor(ViewerPlot::kCursorA);
    const long row = std::lround((a * 0.004 - 1.5) / 0.001);  // the relay's row nearest to A
    ASSERT_TRUE(test::WaitFor([&] {
        return m->Text(3, M::kAtA) == StrPrintf("%.6f", row * 0.001).c_str() &&
               m->Text(2, M::kAtA) == (row >= 500 ? "0.500000" : "1.000000");
    }));

    // A wrong offset typed in, then the relay's step (its row 500, now at 0.8 s: row 200
    // of the first) put under the first's step (row 500) at cursor A.
    test::ClickAsUser(window->recordings()->offset_box(1));
    test::KeyAsUser(window, Qt::Key_End);
    QTest::keyClick(handle(), Qt::Key_A, Qt::ControlModifier);
    for (char c : std::string("0.3")) QTest::keyClick(handle(), c);
    QTest::keyClick(handle(), Qt::Key_Return);
    EXPECT_EQ(window->added_offset(1), 0.3);
    plot->SetCursor(ViewerPlot::kCursorA, 500);
    plot->SetCursor(ViewerPlot::kCursorB, 200);
    test::ClickAsUser(test::Find<QPushButton>(window, "alignAtCursor1"));
    EXPECT_EQ(window->added_offset(1), 1.5);
    EXPECT_EQ(window->recordings()->offset_box(1)->value(), 1.5);
    // B, at 0.8 s, lies before the relay's first row: blank.
    ASSERT_TRUE(test::WaitFor([&] { return m->Text(3, M::kAtA) == "0.500000"; }));
    EXPECT_EQ(m->Text(2, M::kAtA) + "|" + m->Text(2, M::kAtB), "0.500000|");
}

}  // namespace
}  // namespace korvex::gui
