// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/OscSession.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <chrono>

#include "gui/SimulatedRegulator.h"

namespace korvex::gui {
namespace {

// A live session on the simulated regulator's stream, started in each test.
class OscSessionTest : public test::SimulatedRegulator {
protected:
    // Starts the session and waits for `rows` rows.
    bool Start(long rows) {
        std::vector<std::string> messages;
        bool started = session.StartLive(settings, &messages);
        EXPECT_TRUE(messages.empty()) << messages[0];
        return started && test::WaitFor([&] { return session.follower().rows() > rows; });
    }
    OscSession session;
    QSignalSpy stopped{&session, &OscSession::stopped};
};

TEST_F(OscSessionTest, AStreamFillsTheBuffersAndAStopEndsItCleanly) {
    QSignalSpy data(&session, &OscSession::dataChanged);
    ASSERT_TRUE(Start(20));
    EXPECT_TRUE(session.running());
    EXPECT_EQ(session.header().num_chan, 12);
    EXPECT_GT(data.count(), 2);
    EXPECT_TRUE(session.osc().display_present);

    // A stop: stopped() once with no message, the file ends with a complete row, the
    // regulator got its stop byte, and the port is free at once.
    std::string file = session.file();
    session.Stop();
    session.Stop();
    EXPECT_FALSE(session.running());
    ASSERT_EQ(stopped.count(), 1);
    EXPECT_EQ(stopped.at(0).at(0).toString(), QString());
    std::string rec = test::ReadFileBytes(file);
    EXPECT_EQ(rec.substr(rec.size() - 3), "\t\r\n");
    EXPECT_TRUE(GotStopByte());
    ExpectPortFree();
    EXPECT_TRUE(shown.texts().empty());
}

TEST_F(OscSessionTest, AWorkerErrorArrivesAsTheStoppedMessage) {
    ASSERT_TRUE(Start(5));
    model.stream_faults->nan = 1;
    ASSERT_TRUE(test::WaitFor([&] { return stopped.count() == 1; }));
    EXPECT_EQ(stopped.at(0).at(0).toString(), "Too big value for channel 'Uf'");
    EXPECT_FALSE(session.running());
    EXPECT_TRUE(shown.texts().empty()) << "the session's view shows it, not the worker";
}

TEST_F(OscSessionTest, WritingOffAndOnStartsANewRecording) {
    QSignalSpy recording(&session, &OscSession::recordingChanged);
    ASSERT_TRUE(Start(10));
    std::string first = session.file();
    std::string err;
    ASSERT_TRUE(session.SetWriting(false, &err)) << err;
    EXPECT_FALSE(session.writing());
    EXPECT_EQ(recording.count(), 1);
    long rows = session.follower().rows();
    size_t size = test::ReadFileBytes(first).size();
    QTest::qWait(150);
    EXPECT_EQ(session.follower().rows(), rows) << "the display stands still";
    EXPECT_EQ(test::ReadFileBytes(first).size(), size) << "the file is closed";
    EXPECT_TRUE(session.running()) << "acquisition goes on";

    ASSERT_TRUE(session.SetWriting(true, &err)) << err;
    EXPECT_EQ(recording.count(), 2);
    EXPECT_NE(session.file(), first);
    ASSERT_TRUE(test::WaitFor([&] { return session.follower().rows() > 3; }));
    EXPECT_LT(session.follower().rows(), rows) << "the new file's rows, from its first";
    EXPECT_NE(session.FileLine().toStdString().find(session.file()), std::string::npos);
}

TEST_F(OscSessionTest, AStopDuringAPacketTimeOutIsImmediate) {
    // The regulator goes silent: the worker waits up to 1000 ms for the next packet. A
    // stop wakes it; the stop sequence runs at once.
    ASSERT_TRUE(Start(5));
    model.stream_faults->silent = -1;
    QTest::qWait(50);
    auto t0 = std::chrono::steady_clock::now();
    session.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
    EXPECT_FALSE(session.running());
    EXPECT_TRUE(shown.texts().empty());
}

TEST(OscSessionView, AFinishedRecordingIsReadWhole) {
    test::TempDir tmp;
    std::string file = tmp.path() + "/r.trd";
    test::WriteFileBytes(file, "#FILE=COM1\r\n#CHAN=1\r\n#NAME=U\r\n#F=50\r\n1.5\r\n2.5");
    OscSession session;
    std::string err;
    ASSERT_TRUE(session.OpenFile(file, &err)) << err;
    session.Tick();
    EXPECT_EQ(session.follower().rows(), 2);
    EXPECT_EQ(session.follower().value(0), 2.5);
    EXPECT_FALSE(session.live());

    OscSession missing;
    EXPECT_FALSE(missing.OpenFile(tmp.path() + "/none.trd", &err));
    EXPECT_EQ(err, "Open File '" + tmp.path() + "/none.trd' error");
}

}  // namespace
}  // namespace korvex::gui
