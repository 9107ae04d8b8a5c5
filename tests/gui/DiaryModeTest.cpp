// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

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

class DiaryMode : public test::SimulatedRegulator {};

TEST_F(DiaryMode, TheStartDialogShowsProgressAndTheReportOpensInItsWindow) {
    g_bRussian = true;
    auto owner = ProgramDialog();
    StartDialog& dlg = *owner;
    auto* bar = dlg.findChild<QProgressBar*>();
    auto* diary = dlg.findChild<QPushButton*>("diary");

    // While it reads: the controls off, the bar and "Считывание ..." shown and moving,
    // and the GUI thread free to paint (a timer keeps firing).
    int ticks = 0, max_value = 0;
    bool controls_off = true, bar_shown = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (dlg.running_mode()) {
            controls_off = controls_off && !diary->isEnabled();
            bar_shown =
                bar_shown || (bar->isVisible() && dlg.findChild<QLabel*>("wait")->isVisible());
            max_value = std::max(max_value, bar->value());
        }
    });
    timer.start(10);
    QSignalSpy ended(&dlg, &StartDialog::modeEnded);
    test::ClickAsUser(diary);
    ASSERT_NE(dlg.running_mode(), nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return ended.count() == 1; }, 10000));
    timer.stop();
    EXPECT_TRUE(controls_off);
    EXPECT_TRUE(bar_shown);
    EXPECT_GT(max_value, 50);
    EXPECT_GT(ticks, 20) << "the dialog kept running its event loop";
    EXPECT_TRUE(diary->isEnabled());
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(shown.texts().empty());

    // The report, decoded from Windows-1251, in its own window.
    ReportWindow* report = dlg.findChild<ReportWindow*>();
    ASSERT_NE(report, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(report));
    QString text = report->text();
    EXPECT_TRUE(text.contains(QString::fromUtf8("********** Дневник-1 (100 сообщ) **********")))
        << text.left(400).toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("[013]  Уставка Ug изменена\n")));
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
    EXPECT_TRUE(test::WaitFor([&] { return dlg.findChild<ReportWindow*>() == nullptr; }));
}

}  // namespace
}  // namespace korvex::gui

#include "DiaryModeTest.moc"
