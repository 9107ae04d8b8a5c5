#include "gui/VestaDlg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QTest>
#include <thread>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "app/TempDataDir.h"
#include "sim/Regulator.h"

namespace korvex::gui {
namespace {

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new test::TempDataDirEnvironment);

std::string Rows(int n, int channels, int first = 0) {
    std::string s;
    for (int r = first; r < first + n; ++r) {
        for (int c = 0; c < channels; ++c) s += StrPrintf("%f\t", r + c * 0.5);
        s += "\r\n";
    }
    return s;
}

class ViewingTest : public ::testing::Test {
protected:
    std::unique_ptr<CVestaDlg> Open(const std::string& content) {
        test::WriteFileBytes(file, content);
        link.file_arg = file;
        link.live_mode = 0;
        auto dlg = std::make_unique<CVestaDlg>(link, osc);
        ok = dlg->SetUp();
        if (ok) dlg->OnTick();
        return dlg;
    }
    test::TempDir tmp;
    std::string file = tmp.path() + "/rec.trd";
    LinkSettings link;
    OscState osc;
    bool ok = false;
};

TEST_F(ViewingTest, TenRowsAFlatStartAndNinePointsAtTheRight) {
    auto dlg = Open(
        "#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#XN=Time "
        "(sec)\r\n#F=50.000000\r\n#XX=0,0.020000\r\n" +
        Rows(10, 2));
    ASSERT_TRUE(ok);
    EXPECT_TRUE(dlg->status_line()->text().contains("Samples=0.010 K"))
        << dlg->status_line()->text().toStdString();
    EXPECT_TRUE(dlg->status_line()->text().contains("Fsam=50.00 Hz"));
    EXPECT_EQ(dlg->file_line()->text().toStdString(), "File: " + file + " ,  2 channels");
    EXPECT_EQ(dlg->windowTitle(), " Korvex v1.3.1  -  COM1");
    const ChannelBuffer& b = dlg->follower().buffer(0);
    for (size_t i = 0; i < 3991; ++i) ASSERT_EQ(b[i], 0.0) << i;
    for (size_t i = 3991; i < 4000; ++i) EXPECT_EQ(b[i], double(i - 3990));
    // The plot holds the same: 4000 points, newest at 3999.
    ASSERT_EQ(dlg->graph()->graph(1)->data()->size(), 4000);
    EXPECT_EQ(dlg->graph()->graph(1)->data()->at(3999)->value, 9.5);
    EXPECT_EQ(dlg->graph()->graph(1)->data()->at(0)->value, 0.5);
    EXPECT_EQ(dlg->legend(1)->caption(), "B");
    EXPECT_TRUE(dlg->error_line()->text().isEmpty());
    EXPECT_FALSE(dlg->write_box()->isVisible());
}

TEST_F(ViewingTest, MarkersRatesAndChannelCounts) {
    auto dlg = Open("#CHAN=2\r\n#NAME=A B\r\n#F=0\r\n" + Rows(3, 2) + "#ERRSEQ\r\n" + Rows(2, 2) +
                    "#ERRSEQ\r\n");
    ASSERT_TRUE(ok);
    EXPECT_EQ(dlg->error_line()->text(), "Seq. Errors: 2");
    EXPECT_TRUE(dlg->status_line()->text().contains("Fsam=1.00 Hz , Samples=0.005 K"));

    std::string names;
    for (int c = 0; c < 20; ++c) names += "c" + std::to_string(c) + " ";
    dlg = Open("#CHAN=20\r\n#NAME=" + names + "\r\n#F=50\r\n" + Rows(2, 20));
    ASSERT_TRUE(ok);
    EXPECT_TRUE(dlg->file_line()->text().endsWith(",  15 (20) channels"));
    EXPECT_FALSE(dlg->channel_box(14)->isHidden());
    EXPECT_EQ(dlg->graph()->plot_count(), 15);

    test::ErrorCapture shown;
    link.file_arg = tmp.path() + "/missing.trd";
    CVestaDlg missing(link, osc);
    EXPECT_EQ(missing.exec(), QDialog::Rejected);
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"Open File '" + link.file_arg + "' error"});
}

TEST_F(ViewingTest, ZoomAndYScaling) {
    auto dlg = Open("#CHAN=1\r\n#NAME=A\r\n#F=50.000000\r\n" + Rows(5, 1));
    ASSERT_TRUE(ok);
    EXPECT_EQ(dlg->zoom(), 4);
    EXPECT_EQ(dlg->time_text()->text(), "T=20.0 sec (1000 points)");
    EXPECT_EQ(dlg->tenth_label()->text(), "2.00 sec");
    EXPECT_EQ(dlg->screen_label()->text(), "20.0 sec");
    EXPECT_EQ(dlg->graph()->xAxis->range().lower, 3000);
    EXPECT_EQ(dlg->graph()->xAxis->range().upper, 3999);
    EXPECT_EQ(dlg->graph()->xAxis->label(), "Screen Time = 20.0 sec");
    QTest::mouseClick(dlg->more_points(), Qt::LeftButton);
    QTest::mouseClick(dlg->more_points(), Qt::LeftButton);
    EXPECT_EQ(dlg->zoom(), 1);
    EXPECT_FALSE(dlg->more_points()->isEnabled());
    EXPECT_EQ(dlg->graph()->xAxis->range().lower, 0);
    dlg->OnFewerPoints();
    dlg->OnFewerPoints();
    EXPECT_EQ(dlg->zoom(), 4);
    QTest::mouseClick(dlg->fewer_points(), Qt::LeftButton);
    QTest::mouseClick(dlg->fewer_points(), Qt::LeftButton);
    EXPECT_EQ(dlg->zoom(), 16);
    dlg->OnFewerPoints();
    EXPECT_EQ(dlg->zoom(), 16);
    EXPECT_FALSE(dlg->fewer_points()->isEnabled());
    EXPECT_EQ(dlg->time_text()->text(), "T=5.0 sec (250 points)");

    dlg->SetAutoScale(false);
    EXPECT_TRUE(dlg->y_max_edit()->isEnabled());
    dlg->graph()->SetYRange(-1, 1);
    dlg->StepYMax(-1);
    EXPECT_DOUBLE_EQ(dlg->graph()->YMax(), 1.2);
    EXPECT_EQ(dlg->y_max_edit()->text(), "1.200000");
    dlg->graph()->SetYRange(-1, 1);
    dlg->StepYMin(+1);
    EXPECT_DOUBLE_EQ(dlg->graph()->YMin(), -1.2);
    EXPECT_EQ(dlg->y_min_edit()->text(), "-1.200000");
    dlg->SetAutoScale(true);
    EXPECT_TRUE(dlg->y_max_edit()->text().isEmpty());
    EXPECT_FALSE(dlg->y_max_edit()->isEnabled());
}

class LiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
        link.port_name = sim.port_path();
        link.osc_baud = 115200;
        link.rate_divider = 3;
        link.live_mode = 1;
    }
    // Ticks the window for `ms` as its timer would.
    void Run(CVestaDlg& dlg, int ms) {
        for (int t = 0; t < ms && !dlg.ended(); t += 30) {
            QTest::qWait(30);
        }
    }
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    LinkSettings link;
    OscState osc;
};

TEST_F(LiveTest, TracesCaptionsChannelsRecordingAndExit) {
    CVestaDlg dlg(link, osc);
    ASSERT_TRUE(dlg.SetUp());
    dlg.show();
    Run(dlg, 400);
    long rows = dlg.follower().rows();
    EXPECT_GT(rows, 10);
    for (int c = 0; c < 12; ++c)
        EXPECT_FALSE(dlg.channel_box(c)->text().isEmpty()) << "caption " << c;
    EXPECT_TRUE(dlg.channel_box(12)->isHidden());
    EXPECT_TRUE(dlg.selvo_button()->isVisible());
    EXPECT_TRUE(dlg.write_box()->isVisible());

    // Unchecking hides the trace at the next tick; checking shows it again.
    dlg.channel_box(2)->setChecked(false);
    dlg.OnTick();
    EXPECT_FALSE(dlg.graph()->PlotVisible(2));
    dlg.channel_box(2)->setChecked(true);
    dlg.OnTick();
    EXPECT_TRUE(dlg.graph()->PlotVisible(2));

    // Writing off: the display stands still; on: a new file whose first row refills.
    std::string first = link.file_arg;
    dlg.write_box()->setChecked(false);
    long before = dlg.follower().rows();
    Run(dlg, 150);
    EXPECT_EQ(dlg.follower().rows(), before);
    dlg.write_box()->setChecked(true);
    EXPECT_NE(link.file_arg, first);
    Run(dlg, 200);
    EXPECT_GT(dlg.follower().rows(), 0);
    EXPECT_LT(dlg.follower().rows(), before + 60);
    EXPECT_TRUE(dlg.file_line()->text().toStdString().find(link.file_arg) != std::string::npos);

    // The front panel: the regulator's home screen reaches the SELVO window.
    ASSERT_NE(dlg.selvo(), nullptr);
    dlg.ShowPanels();
    Run(dlg, 400);
    EXPECT_TRUE(dlg.selvo()->display_text().contains("Ug="))
        << dlg.selvo()->display_text().toStdString();
    EXPECT_TRUE(dlg.selvo()->display_text().startsWith(QString::fromUtf8("РЕГУЛЯТОР")));
    dlg.selvo()->ClickKey("ENT");
    dlg.selvo()->ClickKey("ESC");
    EXPECT_EQ(osc.pending_key.load(), 0x1B) << "the second click replaces the first";
    osc.pending_key = 0;
    dlg.selvo()->ClickKey("F");
    EXPECT_EQ(osc.pending_key.load(), 0);

    // Exit: the worker has let go of the port when the window ends, the file ends with a
    // complete row, and the panels are gone with the window.
    dlg.Exit();
    EXPECT_TRUE(dlg.ended());
    EXPECT_EQ(osc.done, 1);
    EXPECT_EQ(dlg.selvo(), nullptr);
    std::string rec = test::ReadFileBytes(link.file_arg);
    EXPECT_EQ(rec.substr(rec.size() - 3), "\t\r\n");
    auto received = sim.Received();
    EXPECT_EQ(received.back(), 0xC0);
    std::string err;
    RS232Port* again = RS232_Open(sim.port_path(), 9600, 0, 0, 100, 0, &err);
    EXPECT_NE(again, nullptr) << "the port is free at once: " << err;
    RS232_Close(again);
}

TEST_F(LiveTest, AWorkerErrorClosesTheWindowAtTheNextTick) {
    test::ErrorCapture shown;
    CVestaDlg dlg(link, osc);
    ASSERT_TRUE(dlg.SetUp());
    Run(dlg, 150);
    model.stream_faults->nan = 1;
    Run(dlg, 1000);
    EXPECT_TRUE(dlg.ended());
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"Too big value for channel 'Uf'"});
}

}  // namespace
}  // namespace korvex::gui
