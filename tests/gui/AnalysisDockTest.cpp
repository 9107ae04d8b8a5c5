// SPDX-License-Identifier: GPL-3.0-or-later
// The Analysis dock as a user drives it: shown from the tool bar, its window set by cursors
// clicked on the plot, its analysis chosen with keys. (Its numbers: the analysis's tests.)
#include "gui/AnalysisDock.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QToolBar>
#include <cmath>
#include <memory>
#include <numbers>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "gui/UserInput.h"
#include "gui/ViewerPlot.h"
#include "gui/ViewerWindow.h"

namespace korvex::gui {
namespace {

// A row of the dock's table by the start of its label; empty when there is none.
QString RowValue(QTableWidget* table, const QString& label) {
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, 0) && table->item(r, 0)->text().startsWith(label))
            return table->item(r, 1)->text();
    return QString();
}

TEST(AnalysisDockTest, CursorsClickedSetTheWindowTheStepIsMarkedAndTheReportIsOnePage) {
    // 250 rows/s for 8 s. Us: a step of 0.5 at 2 s, second order (2 Hz, ζ 0.5); If: a
    // 5 Hz sine.
    test::TempDir tmp;
    const std::string path = tmp.path() + "/rec.trd";
    std::string file = "#FILE=\r\n#NAME=Us If\r\n#CHAN=2\r\n#XX=0,0.004000\r\n#F=250.000000\r\n";
    const double pi = std::numbers::pi, zeta = 0.5, wn = 2 * pi * 2;
    const double root = std::sqrt(1 - zeta * zeta), wd = wn * root;
    for (int r = 0; r < 2000; ++r) {
        double t = r * 0.004, tau = t - 2;
        double us = tau <= 0 ? 1.0
                             : 1.5 - 0.5 * std::exp(-zeta * wn * tau) *
                                         (std::cos(wd * tau) + zeta / root * std::sin(wd * tau));
        file += StrPrintf("%f %f\r\n", us, std::sin(2 * pi * 5 * t));
    }
    test::WriteFileBytes(path, file);
    test::BoxTaker errors;
    auto* window = new ViewerWindow;
    std::unique_ptr<ViewerWindow> owner(window);
    ASSERT_TRUE(test::ShowAndWait(window));
    QSignalSpy loaded(window, &ViewerWindow::loaded);
    window->Open(QString::fromStdString(path));
    ASSERT_TRUE(loaded.wait(5000));
    ViewerPlot* plot = window->plot();
    AnalysisDock* dock = window->analysis();

    // Shown by its tool bar button, the dock takes its width from the plot, not the screen.
    const int window_width = window->width(), plot_width = plot->width();
    auto* bar = test::Find<QToolBar>(window, "toolBar");
    test::ClickAsUser(bar->widgetForAction(dock->toggleViewAction()));
    ASSERT_TRUE(test::WaitFor([&] { return dock->isVisible() && plot->width() < plot_width; }));
    EXPECT_EQ(window->width(), window_width);
    plot->replot(QCustomPlot::rpImmediateRefresh);
    auto at = [&](double seconds) {
        QCPAxis* x = plot->axisRect(0)->axis(QCPAxis::atBottom);
        return plot->mapTo(window, QPoint(int(std::lround(x->coordToPixel(seconds))),
                                          plot->axisRect(0)->rect().center().y()));
    };
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(1.0));
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::ShiftModifier, at(5.0));
    const long a = plot->cursor(ViewerPlot::kCursorA), b = plot->cursor(ViewerPlot::kCursorB);
    ASSERT_TRUE(a >= 0 && b > a);

    // The step over A..B, both cursors' rows taken: its rows, and its marks in the pane.
    QTableWidget* table = dock->table();
    ASSERT_TRUE(test::WaitFor([&] {
        return dock->result() && dock->result()->samples == size_t(b - a + 1) &&
               !RowValue(table, "Rise time").isEmpty();
    }));
    EXPECT_EQ(dock->result()->start, a * 0.004);
    QCPItemText* t0 = nullptr;
    for (int i = 0; i < plot->itemCount(); ++i)
        if (auto* text = qobject_cast<QCPItemText*>(plot->item(i)); text && text->text() == "t0")
            t0 = text;
    ASSERT_NE(t0, nullptr);
    EXPECT_EQ(t0->position->key(), dock->result()->step->t0);
    EXPECT_NEAR(t0->position->key(), 2.0, 0.05);
    test::ExpectNoTextClipped(window, {"cursorText", "infoText", "hoverText", "analysisWindow"});

    // The step at cursor A: t0 is A's time, the level before it read from the view's edge.
    test::ClickAsUser(test::Find<QCheckBox>(window, "stepAtA"));
    ASSERT_TRUE(test::WaitFor([&] {
        return dock->result() && dock->result()->step && dock->result()->step->t0 == a * 0.004;
    }));
    EXPECT_EQ(dock->result()->start, 0.0);

    // Spectrum of If, chosen with the keys: its 5 Hz line is read, and labelled.
    dock->kind_box()->setFocus();
    test::KeyAsUser(window, Qt::Key_End);
    dock->channel_box()->setFocus();
    test::KeyAsUser(window, Qt::Key_Down);
    ASSERT_TRUE(test::WaitFor([&] {
        return dock->result() && dock->result()->channel == 1 &&
               dock->result()->kind == AnalysisKind::Spectrum;
    }));
    EXPECT_NEAR(RowValue(table, "Peak 1").section(' ', 0, 0).toDouble(), 5.0, 0.01);
    EXPECT_GE(dock->spectrum_plot()->itemCount(), 1);
    EXPECT_EQ(plot->analysis_marks().channel, -1) << "a spectrum marks the main plot nowhere";

    // The report: one PDF page.
    const std::string pdf = tmp.path() + "/report.pdf";
    ASSERT_TRUE(window->ExportReport(QString::fromStdString(pdf)));
    const QByteArray bytes = QByteArray::fromStdString(test::ReadFileBytes(pdf));
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_EQ(QString::fromLatin1(bytes).count(QRegularExpression(R"(/Type\s*/Page\b)")), 1);

    // B's line dragged next to A: a window of fewer than 20 rows gives the analysis's
    // message in the dock, no box, and no report.
    plot->replot(QCustomPlot::rpImmediateRefresh);  // the dock has grown by the spectrum
    QTest::mousePress(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(5.0));
    QTest::mouseMove(window->windowHandle(), at(3.0));
    QTest::mouseMove(window->windowHandle(), at(1.05));
    QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(1.05));
    ASSERT_LT(plot->cursor(ViewerPlot::kCursorB) - a, 19);
    ASSERT_TRUE(test::WaitFor(
        [&] { return dock->status_label()->text().startsWith("Too few samples to analyse: "); }));
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_FALSE(window->findChild<QAction*>("exportReport")->isEnabled());
    EXPECT_TRUE(errors.texts().empty());
}

}  // namespace
}  // namespace korvex::gui
