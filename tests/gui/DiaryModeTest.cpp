// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "app/ErrorCapture.h"
#include "app/Language.h"
#include "app/TempDataDir.h"
#include "gui/Modes.h"
#include "gui/ReportWindow.h"
#include "gui/UserInput.h"
#include "sim/Regulator.h"

namespace korvex::gui {
namespace {

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new test::TempDataDirEnvironment);

}  // namespace

// Takes the URLs that the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void Open(const QUrl& url) { opened.push_back(url.toLocalFile()); }
};

namespace {

TEST(DiaryMode, TheStartDialogShowsProgressAndTheReportOpensInItsWindow) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    test::ErrorCapture shown;
    g_bRussian = true;
    ConfigValues cfg;
    cfg.cfg_port = sim.port_path();
    StartDialog::Modes modes = ProgramModes();
    std::string port = sim.port_path();
    modes.enumerate = [port] {
        ComPortList l;
        l.ports.push_back({port, 0});
        return l;
    };
    StartDialog dlg(cfg, modes);
    ASSERT_TRUE(dlg.InitDialog());
    ASSERT_TRUE(test::ShowAndWait(&dlg));
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
    g_bRussian = false;
}

}  // namespace
}  // namespace korvex::gui

#include "DiaryModeTest.moc"
