// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "gui/UserInput.h"
#include "gui/ViewerPlot.h"
#include "gui/ViewerSession.h"
#include "gui/ViewerWindow.h"

namespace korvex::gui {
namespace {

TEST(ViewerFollowTest, RowsWrittenAt166HzAreShownWithin300MsAndNeverHalfWritten) {
    test::TempDir tmp;
    const std::string path = tmp.path() + "/live.trd";
    auto row = [](size_t r) { return StrPrintf("%zu.000000\t%.6f\t\r\n", r, r * -0.5); };
    std::string file = "#FILE=COM3\r\n#CHAN=2\r\n#NAME=U I \r\n#F=166.666667\r\n#XX=0,0.006000\r\n";
    for (size_t r = 0; r < 10; ++r) file += row(r);
    test::WriteFileBytes(path, file + row(10).substr(0, 10));  // row 10 half written

    // Opened as the user opens it: a file still being written is followed at once.
    test::BoxTaker boxes;
    ViewerWindow window;
    ASSERT_TRUE(test::ShowAndWait(&window));
    ViewerSession& session = *window.session();
    QSignalSpy loaded(&window, &ViewerWindow::loaded);
    window.Open(QString::fromStdString(path));
    ASSERT_TRUE(test::WaitFor([&] { return loaded.count() == 1; }, 5000));
    ASSERT_EQ(session.data().rows(), size_t{10});
    ASSERT_TRUE(test::Find<QAction>(&window, "follow")->isChecked() && session.following());

    // 166.7 Hz, rows in two parts: each shown within 300 ms of its line end, never before,
    // and the window's thread (which runs this writer too) never held up for 50 ms.
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> written(10, 0), arrived(10, 0);
    qint64 longest_gap = 0;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    QTimer writer;
    QObject::connect(&writer, &QTimer::timeout, [&] {
        const size_t r = written.size();
        out << row(r).substr(10) << row(r + 1).substr(0, 10) << std::flush;
        longest_gap = std::max(longest_gap, clock.elapsed() - written.back());
        written.push_back(clock.elapsed());
        if (clock.elapsed() > 1000) writer.stop();
    });
    QObject::connect(&session, &ViewerSession::grew, [&](size_t) {
        EXPECT_LE(session.data().rows(), written.size());
        arrived.resize(session.data().rows(), clock.elapsed());
    });
    written.back() = clock.elapsed();
    writer.start(6);
    ASSERT_TRUE(test::WaitFor(
        [&] { return !writer.isActive() && arrived.size() == written.size(); }, 5000));
    ASSERT_GT(written.size(), 100u);
    for (size_t r = 10; r < written.size(); ++r)
        EXPECT_LE(arrived[r] - written[r], 300) << "row " << r;
    EXPECT_LE(longest_gap, 50);
    // The view kept the end in sight.
    EXPECT_DOUBLE_EQ(window.plot()->view().upper, session.data().duration());

    // A file cut back ends the follow, with a message that says why.
    std::filesystem::resize_file(path, file.size());
    ASSERT_TRUE(test::WaitFor([&] { return boxes.texts().size() == 1; }, 2000));
    EXPECT_EQ(boxes.texts()[0], "'" + path + "' was cut short or replaced: following stopped");
    EXPECT_FALSE(test::Find<QAction>(&window, "follow")->isChecked());
}

}  // namespace
}  // namespace korvex::gui
