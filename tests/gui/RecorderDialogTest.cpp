// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder's window and session. (The table's and status line's texts, the sectors
// and rows of a read and the recorder's messages are the recorder library's own tests.)
#include "gui/RecorderDialog.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QSignalSpy>
#include <chrono>
#include <tuple>

#include "app/Version.h"
#include "gui/SimulatedRegulator.h"

namespace korvex::gui {
namespace {

using test::Find;

// The recorder mode as the start dialog runs it, on the simulated regulator.
class RecorderModeTest : public test::SimulatedRegulator {
protected:
    // Starts the mode and waits for its window and its first poll.
    bool Open() {
        session = OpenRecorder(settings, &parent);
        if (!test::WaitFor([&] { return (dialog = FindDialog()) != nullptr; })) return false;
        return test::WaitFor([&] { return dialog->model().rowCount() > 0; }) &&
               QTest::qWaitForWindowExposed(dialog);
    }
    RecorderDialog* FindDialog() { return parent.findChild<RecorderDialog*>(); }
    void ClickRow(int row) {
        QTableView* list = dialog->list();
        QRect cell = list->visualRect(dialog->model().index(row, 2));
        QTest::mouseClick(list->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          list->viewport()->mapTo(list->window(), cell.center()));
    }
    // Clicks row `row` and Read; returns after `steps` steps of the read's progress.
    void StartRead(int row, int steps) {
        ClickRow(row);
        QSignalSpy progress(session.data(), &RecorderSession::readProgress);
        QObject::connect(session.data(), &RecorderSession::readFinished,
                         [this](const RecorderReadResult& r) { read = r; });
        test::ClickAsUser(Find<QPushButton>(dialog, "read"));
        ASSERT_TRUE(test::WaitFor([&] { return progress.count() >= steps; }));
    }

    QWidget parent;
    QPointer<RecorderSession> session;
    QPointer<RecorderDialog> dialog;
    RecorderReadResult read;
};

TEST_F(RecorderModeTest, TheTableTheWriteBoxAndAReadAsAUserDoesThem) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(dialog->windowTitle().toStdString(), TitleWithVersion("Аварийный осциллограф"));
    EXPECT_EQ(dialog->model().rowCount(), 4);
    auto* write = Find<QCheckBox>(dialog, "write");
    EXPECT_TRUE(write->isVisible() && !write->isChecked());
    auto* read_button = Find<QPushButton>(dialog, "read");
    EXPECT_FALSE(read_button->isEnabled()) << "nothing selected";

    // Manual recording on: the regulator records; the table and the box follow its state.
    test::ClickAsUser(write);
    ASSERT_TRUE(test::WaitFor([&] { return model.recorder->state() == 1; }));
    ASSERT_TRUE(test::WaitFor([&] { return dialog->model().rowCount() == 5; }));
    test::ClickAsUser(write);
    ASSERT_TRUE(test::WaitFor([&] { return model.recorder->state() == 0 && !write->isChecked(); }));
    // An automatic recording: the box is checked and cannot be used.
    model.recorder->StartAutomatic(9, 60);
    ASSERT_TRUE(test::WaitFor([&] { return write->isChecked() && !write->isEnabled(); }));

    // The fourth recording, selected and read: its detail, the progress, the viewer. The
    // regulator answers busy for a few milliseconds after each sector is selected.
    model.recorder->faults->busy_ms = 5;
    ClickRow(3);
    QStringList detail;
    for (const char* name : {"number", "date", "time", "duration"})
        detail << Find<QLineEdit>(dialog, name)->text();
    EXPECT_EQ(detail.join('|').toStdString(), "  4|2026-12-05|12:00:00:000|2.40");
    ASSERT_TRUE(read_button->isEnabled());
    QSignalSpy finished(session.data(), &RecorderSession::readFinished);
    test::ClickAsUser(read_button);
    EXPECT_EQ(read_button->text(), "Stop");
    EXPECT_TRUE(Find<QProgressBar>(dialog, "progress")->isVisible());
    ASSERT_TRUE(test::WaitFor([&] { return finished.count() == 1; }, 20000));
    EXPECT_EQ(Find<QLabel>(dialog, "sectorTime")->text(), "2026-12-05     12:00:00:000");
    EXPECT_EQ(read_button->text(), "Read");
    EXPECT_FALSE(Find<QProgressBar>(dialog, "progress")->isVisible());
    // The viewer is started on the file (none is installed beside the test program).
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"File Trendal.exe not found!"});

    // A read that converts nothing starts no viewer.
    model.recorder->faults->bad_format_sector = 0;
    ClickRow(2);
    test::ClickAsUser(read_button);
    ASSERT_TRUE(test::WaitFor([&] { return finished.count() == 2; }, 20000));
    EXPECT_EQ(shown.texts(), (std::vector<std::string>{"File Trendal.exe not found!",
                                                       "Ошибка: Неизвестный формат (0xFFFF) "
                                                       "сектора данных (сектор=0)."}));
}

// In Russian, as most users run it: the texts fit and the columns have their sample
// widths. Then a close during a read.
TEST_F(RecorderModeTest, ClosingDuringAReadEndsTheReaderFirstAndFreesThePort) {
    g_bRussian = true;
    model.recorder->faults->busy_ms = 20;
    ASSERT_TRUE(Open());
    EXPECT_EQ(Find<QPushButton>(dialog, "read")->text(), QString::fromUtf8("Чтение файла"));
    EXPECT_EQ(dialog->model().headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromUtf8("Время начала"));
    QFontMetrics fm = dialog->list()->fontMetrics();
    EXPECT_GE(dialog->list()->columnWidth(1),
              fm.horizontalAdvance(QString::fromUtf8("Запись             ")));
    QFontMetrics header = dialog->list()->horizontalHeader()->fontMetrics();
    for (int c = 0; c < 9; ++c) {
        QString caption = dialog->model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        EXPECT_GE(dialog->list()->columnWidth(c), header.horizontalAdvance(caption)) << c;
    }
    test::ExpectNoTextClipped(dialog, {"status"});

    // The reader stops after its sector, the rows before kept (that they are whole rows:
    // ReadRecordingTest.FailuresAndStopsKeepTheRowsOfTheSectorsBefore).
    ASSERT_NO_FATAL_FAILURE(StartRead(1, 3));
    QSignalSpy ended(session.data(), &RecorderSession::ended);
    auto t0 = std::chrono::steady_clock::now();
    test::KeyAsUser(dialog, Qt::Key_Escape);
    ASSERT_TRUE(test::WaitFor([&] { return dialog.isNull() && session.isNull(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000))
        << "one sector and the link's close";
    EXPECT_EQ(std::pair(ended.count(), read.stopped), std::pair(qsizetype{1}, true));
    EXPECT_LT(read.sectors, model.recorder->recording(1).sectors);
    // The link ended with the exit message: the regulator is back in its normal mode.
    EXPECT_TRUE(InNormalMode());
    EXPECT_TRUE(shown.texts().empty()) << shown.texts()[0];
    ExpectPortFree();
    // Again at once, as a user would; Enter ends the mode too.
    ASSERT_TRUE(Open());
    test::KeyAsUser(dialog, Qt::Key_Return);
    ASSERT_TRUE(test::WaitFor([&] { return dialog.isNull() && session.isNull(); }));
    EXPECT_TRUE(InNormalMode());
}

// A failed poll: the message comes first, window-modal over the recorder's window, and
// the window and the port wait for OK; then only the port is closed.
TEST_F(RecorderModeTest, AFailedPollsMessageComesBeforeTheClose) {
    ASSERT_TRUE(Open());
    shown.hold = true;
    model.modbus_faults->silent = -1;
    ASSERT_TRUE(test::WaitFor([&] { return !test::BoxTaker::Open().empty(); }, 5000));
    // Long enough for a close that did not wait to have run.
    QTest::qWait(100);
    EXPECT_FALSE(session.isNull() || dialog.isNull()) << "closed under the message";
    EXPECT_EQ(test::BoxTaker::Open().front()->parentWidget(), dialog.data());
    shown.hold = false;
    ASSERT_TRUE(test::WaitFor([&] { return session.isNull(); }, 5000));
    EXPECT_TRUE(dialog.isNull());
    ASSERT_EQ(shown.seen.size(), 1u);
    EXPECT_TRUE(shown.seen[0].window_modal);
    EXPECT_TRUE(shown.seen[0].text.startsWith("ModBus_ReadHldReg(Addr=1, Reg=32768, Num=4):\n"))
        << shown.seen[0].text.toStdString();
    model.modbus_faults->silent = 0;
    EXPECT_EQ(sim.current_mode(), "modbus") << "no exit message after a link failure";
}

// The cable pulled during a read, the boxes taken as they come: one box at a time, the
// reader's message about its sector first, then the viewer on the partial recording, then
// the link's message, then the window goes.
TEST_F(RecorderModeTest, ALinkLostDuringAReadShowsTheReadersMessageThenTheLinksAndKeepsTheRows) {
    model.recorder->faults->busy_ms = 20;
    ASSERT_TRUE(Open());
    ASSERT_NO_FATAL_FAILURE(StartRead(1, 3));
    model.modbus_faults->silent = -1;
    ASSERT_TRUE(test::WaitFor([&] { return session.isNull(); }, 10000));
    EXPECT_TRUE(dialog.isNull());
    auto texts = shown.texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_TRUE(texts[0].rfind("ModBus_WriteMultipleReg(Addr=1, Reg=33025, Num=1):\n", 0) == 0 ||
                texts[0].rfind("ModBus_ReadHldReg(Addr=1, Reg=33", 0) == 0)
        << texts[0];
    EXPECT_EQ(texts[0].find("Reg=32768"), std::string::npos);
    EXPECT_EQ(texts[1], "File Trendal.exe not found!") << "the viewer is started on the rows read";
    EXPECT_EQ(texts[2].rfind("ModBus_ReadHldReg(Addr=1, Reg=32768, Num=4):\n", 0), 0u) << texts[2];
    EXPECT_FALSE(read.stopped);
    EXPECT_GT(read.sectors, 0);
    model.modbus_faults->silent = 0;
}

// A recorder missing when the mode starts: no window; one that goes away while it runs:
// the window closes (so it does for a version changed: RecorderPollTest has both texts).
// The link was sound: the regulator got the exit message.
TEST_F(RecorderModeTest, NoRecorderOrAnUnknownVersionClosesTheMode) {
    const std::tuple<bool, int, const char*> cases[] = {
        {true, 0, "Система не имеет аварийного осциллографа!"},
        {false, 0, "Эта система не имеет\nаварийного осциллографа!"}};
    for (auto [at_start, version, text] : cases) {
        shown.seen.clear();
        ASSERT_TRUE(at_start || Open());
        model.recorder->faults->version = version;
        if (at_start) session = OpenRecorder(settings, &parent);
        ASSERT_TRUE(test::WaitFor([&] { return session.isNull() && FindDialog() == nullptr; }));
        EXPECT_EQ(shown.texts(), std::vector<std::string>{text});
        EXPECT_TRUE(InNormalMode()) << text;
        model.recorder->faults->version = 1;
    }
}

}  // namespace
}  // namespace korvex::gui
