// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/OscSession.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <chrono>

#include "app/ErrorCapture.h"
#include "app/TempDataDir.h"
#include "gui/UserInput.h"
#include "sim/Regulator.h"

namespace korvex::gui {
namespace {

using Clock = std::chrono::steady_clock;

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new test::TempDataDirEnvironment);

class OscSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
        settings.port_name = sim.port_path();
        settings.osc_baud = 115200;
        settings.rate_divider = 3;
    }
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    LinkSettings settings;
    test::ErrorCapture shown;
};

TEST_F(OscSessionTest, AStreamFillsTheBuffersAndAStopEndsItCleanly) {
    OscSession session;
    QSignalSpy data(&session, &OscSession::dataChanged);
    QSignalSpy stopped(&session, &OscSession::stopped);
    ASSERT_TRUE(session.StartLive(settings));
    EXPECT_TRUE(session.running());
    EXPECT_EQ(session.header().num_chan, 12);
    ASSERT_TRUE(test::WaitFor([&] { return session.follower().rows() > 20; }));
    EXPECT_GT(data.count(), 2);
    EXPECT_TRUE(session.osc().display_present);

    // A stop: stopped() with no message, the file ends with a complete row, the
    // regulator got its stop byte, and the port is free at once.
    std::string file = session.file();
    session.Stop();
    EXPECT_FALSE(session.running());
    ASSERT_EQ(stopped.count(), 1);
    EXPECT_EQ(stopped.at(0).at(0).toString(), QString());
    session.Stop();
    EXPECT_EQ(stopped.count(), 1) << "once";
    std::string rec = test::ReadFileBytes(file);
    EXPECT_EQ(rec.substr(rec.size() - 3), "\t\r\n");
    EXPECT_TRUE(test::WaitFor([&] { return sim.Received().back() == 0xC0; }))
        << "the regulator got the stop byte";
    std::string err;
    RS232Port* again = RS232_Open(sim.port_path(), 9600, 0, 0, 100, 0, &err);
    EXPECT_NE(again, nullptr) << err;
    RS232_Close(again);
    EXPECT_TRUE(shown.texts().empty());
}

TEST_F(OscSessionTest, AWorkerErrorArrivesAsTheStoppedMessage) {
    OscSession session;
    QSignalSpy stopped(&session, &OscSession::stopped);
    ASSERT_TRUE(session.StartLive(settings));
    ASSERT_TRUE(test::WaitFor([&] { return session.follower().rows() > 5; }));
    model.stream_faults->nan = 1;
    ASSERT_TRUE(test::WaitFor([&] { return stopped.count() == 1; }));
    EXPECT_EQ(stopped.at(0).at(0).toString(), "Too big value for channel 'Uf'");
    EXPECT_FALSE(session.running());
    EXPECT_TRUE(shown.texts().empty()) << "the session's view shows it, not the worker";
}

TEST_F(OscSessionTest, WritingOffAndOnStartsANewRecording) {
    OscSession session;
    QSignalSpy recording(&session, &OscSession::recordingChanged);
    ASSERT_TRUE(session.StartLive(settings));
    ASSERT_TRUE(test::WaitFor([&] { return session.follower().rows() > 10; }));
    std::string first = session.file();
    session.SetWriting(false);
    EXPECT_FALSE(session.writing());
    EXPECT_EQ(recording.count(), 1);
    long rows = session.follower().rows();
    size_t size = test::ReadFileBytes(first).size();
    QTest::qWait(150);
    EXPECT_EQ(session.follower().rows(), rows) << "the display stands still";
    EXPECT_EQ(test::ReadFileBytes(first).size(), size) << "the file is closed";
    EXPECT_TRUE(session.running()) << "acquisition goes on";

    session.SetWriting(true);
    EXPECT_EQ(recording.count(), 2);
    EXPECT_NE(session.file(), first);
    ASSERT_TRUE(test::WaitFor([&] { return session.follower().rows() > 3; }));
    EXPECT_LT(session.follower().rows(), rows) << "the new file's rows, from its first";
    EXPECT_NE(session.FileLine().toStdString().find(session.file()), std::string::npos);
}

TEST_F(OscSessionTest, AStopDuringAPacketTimeOutIsImmediate) {
    // The regulator goes silent: the worker waits up to 1000 ms for the next packet. A
    // stop wakes it; the stop sequence runs at once.
    OscSession session;
    ASSERT_TRUE(session.StartLive(settings));
    ASSERT_TRUE(test::WaitFor([&] { return session.follower().rows() > 5; }));
    model.stream_faults->silent = -1;
    QTest::qWait(50);
    auto t0 = Clock::now();
    session.Stop();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_LT(ms, 100);
    EXPECT_FALSE(session.running());
    EXPECT_TRUE(shown.texts().empty());
}

TEST(OscSessionView, AFinishedRecordingIsReadWhole) {
    test::TempDir tmp;
    std::string file = tmp.path() + "/r.trd";
    test::WriteFileBytes(file, "#FILE=COM1\r\n#CHAN=1\r\n#NAME=U\r\n#F=50\r\n1.5\r\n2.5");
    OscSession session;
    ASSERT_TRUE(session.OpenFile(file));
    session.Tick();
    EXPECT_EQ(session.follower().rows(), 2);
    EXPECT_EQ(session.follower().value(0), 2.5);
    EXPECT_FALSE(session.live());

    test::ErrorCapture shown;
    OscSession missing;
    EXPECT_FALSE(missing.OpenFile(tmp.path() + "/none.trd"));
    EXPECT_EQ(shown.texts(),
              std::vector<std::string>{"Open File '" + tmp.path() + "/none.trd' error"});
}

}  // namespace
}  // namespace korvex::gui
