// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/RecorderDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>
#include <chrono>

#include "app/ErrorCapture.h"
#include "app/Language.h"
#include "app/TempDataDir.h"
#include "gui/GuiErrorSink.h"
#include "gui/Modes.h"
#include "gui/UserInput.h"
#include "sim/Regulator.h"

namespace korvex::gui {
namespace {

using Clock = std::chrono::steady_clock;

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new test::TempDataDirEnvironment);

using test::Find;

// The recorder mode as the start dialog runs it, on the simulated regulator.
class RecorderModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
        settings.port_name = sim.port_path();
        settings.av_baud = 230400;
    }
    void TearDown() override { g_bRussian = false; }
    // Starts the mode and waits for its window and its first poll.
    bool Open() {
        session = OpenRecorder(settings, &parent);
        if (!test::WaitFor([&] { return FindDialog() != nullptr; })) return false;
        dialog = FindDialog();
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

    sim::SimRegulator sim;
    sim::RegulatorModel model;
    LinkSettings settings;
    QWidget parent;
    QPointer<RecorderSession> session;
    QPointer<RecorderDialog> dialog;
    test::ErrorCapture shown;
};

TEST_F(RecorderModeTest, TheTableTheWriteBoxAndAReadAsAUserDoesThem) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(" Korvex v1.3.1  -  Аварийный осциллограф"));
    EXPECT_EQ(dialog->model().rowCount(), 4);
    EXPECT_EQ(dialog->model().data(dialog->model().index(0, 2), Qt::DisplayRole).toString(),
              "# Protect");
    EXPECT_EQ(dialog->model().data(dialog->model().index(3, 1), Qt::DisplayRole).toString(),
              ">> Yes");
    EXPECT_TRUE(Find<QLabel>(dialog, "status")->text().startsWith("Version:0.1 \tFiles:4"));
    auto* write = Find<QCheckBox>(dialog, "write");
    EXPECT_TRUE(write->isVisible());
    EXPECT_FALSE(write->isChecked());
    auto* read = Find<QPushButton>(dialog, "read");
    EXPECT_FALSE(read->isEnabled()) << "nothing selected";

    // Manual recording on: the regulator records; the box follows its state.
    test::ClickAsUser(write);
    ASSERT_TRUE(test::WaitFor([&] { return model.recorder->state() == 1; }));
    ASSERT_TRUE(test::WaitFor([&] { return dialog->model().rowCount() == 5; }));
    EXPECT_EQ(dialog->model().data(dialog->model().index(4, 1), Qt::DisplayRole).toString(),
              ">> WRITE");
    test::ClickAsUser(write);
    ASSERT_TRUE(test::WaitFor([&] { return model.recorder->state() == 0; }));
    ASSERT_TRUE(test::WaitFor([&] { return !write->isChecked(); }));
    // An automatic recording: the box is checked and cannot be used.
    model.recorder->StartAutomatic(9, 60);
    ASSERT_TRUE(test::WaitFor([&] { return write->isChecked() && !write->isEnabled(); }));

    // The fourth recording, selected and read: its detail, the progress, the file. The
    // regulator answers busy for a few milliseconds after each sector is selected.
    model.recorder->faults->busy_ms = 5;
    ClickRow(3);
    EXPECT_EQ(Find<QLineEdit>(dialog, "number")->text(), "  4");
    EXPECT_EQ(Find<QLineEdit>(dialog, "date")->text(), "2026-12-05");
    EXPECT_EQ(Find<QLineEdit>(dialog, "time")->text(), "12:00:00:000");
    EXPECT_EQ(Find<QLineEdit>(dialog, "duration")->text(), "2.40");
    ASSERT_TRUE(read->isEnabled());
    QSignalSpy finished(session.data(), &RecorderSession::readFinished);
    QSignalSpy progress(session.data(), &RecorderSession::readProgress);
    test::ClickAsUser(read);
    EXPECT_EQ(read->text(), "Stop");
    EXPECT_TRUE(Find<QProgressBar>(dialog, "progress")->isVisible());
    ASSERT_TRUE(test::WaitFor([&] { return finished.count() == 1; }, 20000));
    EXPECT_EQ(progress.last().at(0).toInt(), 100);
    EXPECT_EQ(Find<QLabel>(dialog, "sectorTime")->text(), "2026-12-05     12:00:00:000");
    EXPECT_EQ(read->text(), "Read");
    EXPECT_FALSE(Find<QProgressBar>(dialog, "progress")->isVisible());
    auto result = finished.at(0).at(0).value<RecorderReadResult>();
    EXPECT_EQ(result.sectors, 30);
    EXPECT_NE(result.path.find("_0004_(2026.12.05_12.00.00.000).trd"), std::string::npos);
    // The viewer is started on the file (none is installed beside the test program).
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"File Trendal.exe not found!"});
}

TEST_F(RecorderModeTest, AReadThatConvertsNothingStartsNoViewer) {
    model.recorder->faults->bad_format_sector = 0;
    ASSERT_TRUE(Open());
    ClickRow(2);
    QSignalSpy finished(session.data(), &RecorderSession::readFinished);
    test::ClickAsUser(Find<QPushButton>(dialog, "read"));
    ASSERT_TRUE(test::WaitFor([&] { return finished.count() == 1; }));
    EXPECT_EQ(shown.texts(), std::vector<std::string>{
                                 "Ошибка: Неизвестный формат (0xFFFF) сектора данных (сектор=0)."});
}

TEST_F(RecorderModeTest, ClosingDuringAReadEndsTheReaderFirstAndFreesThePort) {
    model.recorder->faults->busy_ms = 20;
    ASSERT_TRUE(Open());
    ClickRow(1);
    QSignalSpy progress(session.data(), &RecorderSession::readProgress);
    test::ClickAsUser(Find<QPushButton>(dialog, "read"));
    ASSERT_TRUE(test::WaitFor([&] { return progress.count() >= 3; }));
    QSignalSpy ended(session.data(), &RecorderSession::ended);
    RecorderReadResult read;
    QObject::connect(session.data(), &RecorderSession::readFinished,
                     [&](const RecorderReadResult& r) { read = r; });
    auto t0 = Clock::now();
    test::KeyAsUser(dialog, Qt::Key_Escape);
    ASSERT_TRUE(test::WaitFor([&] { return dialog.isNull() && session.isNull(); }));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_LT(ms, 1000) << "one sector and the link's close";
    // The partial recording holds whole sectors and ends with a complete row; the
    // regulator left ModBus mode.
    ASSERT_FALSE(read.path.empty());
    EXPECT_TRUE(read.stopped);
    EXPECT_GT(read.sectors, 0);
    EXPECT_LT(read.sectors, model.recorder->recording(1).sectors);
    std::string bytes = test::ReadFileBytes(read.path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    ASSERT_TRUE(test::WaitFor([&] { return sim.current_mode() == "normal"; }));
    EXPECT_TRUE(shown.texts().empty()) << shown.texts()[0];
    std::string err;
    RS232Port* again = RS232_Open(sim.port_path(), 9600, 0, 0, 100, 0, &err);
    EXPECT_NE(again, nullptr) << "the port is free at once: " << err;
    RS232_Close(again);
    // Again at once, as a user would.
    ASSERT_TRUE(Open());
    dialog->close();
    ASSERT_TRUE(test::WaitFor([&] { return session.isNull(); }));
}

// A failed poll, with the real box: the message comes first and the window and the port
// wait for OK (the box's own loop must not tear the window down under it); then only the
// port is closed.
TEST_F(RecorderModeTest, AFailedPollsMessageBoxComesBeforeTheClose) {
    GuiErrorSink sink;
    ScopedErrorSink scoped(&sink);
    ASSERT_TRUE(Open());
    bool alive_under_box = false;
    QString text;
    std::function<void()> answer = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            QTimer::singleShot(5, answer);
            return;
        }
        text = box->text();
        // Long enough for a close that did not wait to have run in the box's loop.
        QTest::qWait(100);
        alive_under_box = !session.isNull() && !dialog.isNull();
        test::ClickAsUser(box->button(QMessageBox::Ok));
    };
    QTimer::singleShot(0, answer);
    model.modbus_faults->silent = -1;
    ASSERT_TRUE(test::WaitFor([&] { return session.isNull(); }, 5000));
    EXPECT_TRUE(alive_under_box);
    EXPECT_TRUE(dialog.isNull());
    EXPECT_TRUE(text.startsWith("ModBus_ReadHldReg(Addr=1, Reg=32768, Num=4):\n"))
        << text.toStdString();
    model.modbus_faults->silent = 0;
    EXPECT_EQ(sim.current_mode(), "modbus") << "no exit message after a link failure";
}

// The cable pulled during a read, with the real boxes clicked as they come: one box at a
// time, the reader's message about its sector first, then the viewer on the partial
// recording, then the link's message, then the window goes.
TEST_F(RecorderModeTest, ALinkLostDuringAReadShowsTheReadersMessageThenTheLinksAndKeepsTheRows) {
    GuiErrorSink sink;
    ScopedErrorSink scoped(&sink);
    model.recorder->faults->busy_ms = 20;
    ASSERT_TRUE(Open());
    ClickRow(1);
    QSignalSpy progress(session.data(), &RecorderSession::readProgress);
    RecorderReadResult read;
    QObject::connect(session.data(), &RecorderSession::readFinished,
                     [&](const RecorderReadResult& r) { read = r; });
    test::ClickAsUser(Find<QPushButton>(dialog, "read"));
    ASSERT_TRUE(test::WaitFor([&] { return progress.count() >= 3; }));

    QStringList texts;
    int most_boxes = 0;
    std::function<void()> answer = [&] {
        int boxes = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++boxes;
        most_boxes = std::max(most_boxes, boxes);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            texts << box->text();
            test::ClickAsUser(box->button(QMessageBox::Ok));
        }
        if (!session.isNull()) QTimer::singleShot(5, answer);
    };
    QTimer::singleShot(0, answer);
    model.modbus_faults->silent = -1;
    ASSERT_TRUE(test::WaitFor([&] { return session.isNull(); }, 10000));
    EXPECT_TRUE(dialog.isNull());
    EXPECT_EQ(most_boxes, 1) << "boxes stacked";
    ASSERT_EQ(texts.size(), 3) << texts.join("|").toStdString();
    EXPECT_TRUE(texts[0].startsWith("ModBus_WriteMultipleReg(Addr=1, Reg=33025, Num=1):\n") ||
                texts[0].startsWith("ModBus_ReadHldReg(Addr=1, Reg=33"))
        << texts[0].toStdString();
    EXPECT_FALSE(texts[0].contains("Reg=32768"));
    EXPECT_EQ(texts[1], "File Trendal.exe not found!") << "the viewer is started on the rows read";
    EXPECT_TRUE(texts[2].startsWith("ModBus_ReadHldReg(Addr=1, Reg=32768, Num=4):\n"))
        << texts[2].toStdString();
    // Whole sectors on disk, ending in a complete row.
    EXPECT_FALSE(read.stopped);
    EXPECT_GT(read.sectors, 0);
    std::string bytes = test::ReadFileBytes(read.path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    model.modbus_faults->silent = 0;
}

TEST_F(RecorderModeTest, EnterAndEscEndThePollAndTheMode) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        ASSERT_TRUE(Open());
        test::KeyAsUser(dialog, key);
        ASSERT_TRUE(test::WaitFor([&] { return dialog.isNull() && session.isNull(); })) << key;
        // The link ended with the exit message: the regulator is back in its normal mode.
        ASSERT_TRUE(test::WaitFor([&] { return sim.current_mode() == "normal"; })) << key;
    }
    EXPECT_TRUE(shown.texts().empty());
}

TEST_F(RecorderModeTest, ARecorderThatGoesAwayOrChangesItsVersionClosesTheWindow) {
    struct Case {
        int version;
        const char* text;
    } cases[] = {{0, "Эта система не имеет\nаварийного осциллографа!"},
                 {2, "Версия аварийного осциллографа\nне поддерживается!"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(Open());
        model.recorder->faults->version = c.version;
        ASSERT_TRUE(test::WaitFor([&] { return session.isNull() && dialog.isNull(); }));
        EXPECT_EQ(shown.texts(), std::vector<std::string>{c.text});
        // The link was sound: the regulator got the exit message.
        EXPECT_TRUE(test::WaitFor([&] { return sim.current_mode() == "normal"; })) << c.version;
        model.recorder->faults->version = 1;
        shown.clear();
    }
}

TEST_F(RecorderModeTest, NoRecorderNoWindow) {
    model.recorder->faults->version = 0;
    session = OpenRecorder(settings, &parent);
    QSignalSpy ended(session.data(), &RecorderSession::ended);
    ASSERT_TRUE(test::WaitFor([&] { return session.isNull(); }));
    EXPECT_EQ(FindDialog(), nullptr);
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"Система не имеет аварийного осциллографа!"});
}

TEST_F(RecorderModeTest, RussianTextsFitAndTheColumnsHaveTheirSampleWidths) {
    g_bRussian = true;
    ASSERT_TRUE(Open());
    EXPECT_EQ(Find<QPushButton>(dialog, "read")->text(), QString::fromUtf8("Чтение файла"));
    EXPECT_EQ(dialog->model().headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromUtf8("Время начала"));
    QFontMetrics fm = dialog->list()->fontMetrics();
    EXPECT_GE(dialog->list()->columnWidth(1),
              fm.horizontalAdvance(QString::fromUtf8("Запись             ")));
    for (int c = 0; c < 9; ++c) {
        QString caption = dialog->model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        EXPECT_GE(dialog->list()->columnWidth(c),
                  dialog->list()->horizontalHeader()->fontMetrics().horizontalAdvance(caption))
            << c;
    }
    test::ExpectNoTextClipped(dialog, {"status"});
    dialog->close();
    ASSERT_TRUE(test::WaitFor([&] { return session.isNull(); }));
}

}  // namespace
}  // namespace korvex::gui
