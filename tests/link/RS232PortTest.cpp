// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX port layer: port names, the open and its refusals, the trial opens of the port
// list, exchanges on a pseudo-terminal played by the test.
#include "link/RS232Port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <thread>

#include "app/ErrorCapture.h"
#include "link/ComPortList.h"
#include "link/PlayedCounters.h"
#include "link/PortNames.h"
#include "link/PtyPeer.h"
#include "link/RS232PortTesting.h"

namespace korvex {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

TEST(PortNames, DevicePathsAndComAliases) {
    // Names and the paths they open (COMX passes the check and fails in the open).
    const char* const valid[] = {
        "/dev/ttyUSB0", "/dev/ttyUSB0", "/tmp/korvex-sim", "/tmp/korvex-sim", "COM1", "/dev/ttyS0",
        "COM3",         "/dev/ttyS2",   "COM999",          "/dev/ttyS998",    "COMX", "/dev/COMX"};
    std::string path;
    for (size_t i = 0; i < std::size(valid); i += 2)
        EXPECT_EQ(ResolvePortName(valid[i], &path) ? path : "refused", valid[i + 1]) << valid[i];
    // Refused before any system call.
    for (const char* name : {"COM", "COM1234", "ttyUSB0", "com3", ""})
        EXPECT_FALSE(ResolvePortName(name, &path)) << name;
}

class RS232PortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer.ok()); }
    void TearDown() override { RS232_Close(port); }

    void Open(uint32_t timeout_ms, uint8_t flags, uint8_t parity = kParityNone) {
        RS232_Close(port);
        port = RS232_Open(peer.port(), 115200, parity, 0, timeout_ms, flags, &err);
        ASSERT_NE(port, nullptr) << err;
    }
    // An exchange of `tx` and a receive of n bytes: the code; the bytes that came in `got`,
    // in `err` the text in the buffer and whatever was shown.
    uint32_t Receive(uint32_t n, bool buffer = true, const Bytes& tx = {}) {
        got.assign(n, 0);
        uint32_t n_rx = 99;
        err.clear();
        test::ErrorCapture shown;
        uint32_t code = RS232_TxRx(port, tx.data(), uint32_t(tx.size()), got.data(), &n_rx, n,
                                   buffer ? &err : nullptr);
        for (const auto& text : shown.texts()) err += text;
        got.resize(n_rx);
        return code;
    }

    test::PtyPeer peer;
    RS232Port* port = nullptr;
    Bytes got;
    std::string err;
};

// A transmit is handed over, not awaited; a receive takes exactly the bytes asked for,
// across the peer's writes, and leaves the surplus queued. With parity checked the driver
// marks a genuine FF as FF FF: it still arrives once.
TEST_F(RS232PortTest, TransmitThenExactlyTheWantedBytes) {
    Open(500, kRS232ReportShort, kParityEven);
    const Bytes frame = {0xFF, 0xFE, 0xFC, 0, 0, 2, 0x88, 0xF5};
    auto t0 = Clock::now();
    EXPECT_EQ(Receive(0, true, frame), 0u);
    EXPECT_LT(Clock::now() - t0, milliseconds(100));
    EXPECT_EQ(peer.Read(8), frame);

    std::jthread regulator([&] {
        EXPECT_EQ(peer.Read(1), Bytes{0x80});
        peer.Write({0x01, 0xFF});
        std::this_thread::sleep_for(milliseconds(20));
        peer.Write({0x00, 0xFF, 0xFF});  // one more than asked for: stays queued
    });
    EXPECT_EQ(Receive(4, true, {0x80}), 0u) << err;
    EXPECT_EQ(got, (Bytes{0x01, 0xFF, 0x00, 0xFF}));
    EXPECT_EQ(Receive(1), 0u);
    EXPECT_EQ(got, Bytes{0xFF});
}

// A short receive ends when the wait has run out, with the bytes that came and code 16:
// silent ("@" in the buffer, nothing shown without one) or with its text, by the setting.
TEST_F(RS232PortTest, ShortReceivesEndAtTheWait) {
    Open(5000, 0);
    RS232_SetWaitMs(port, 100);
    const std::tuple<bool, bool, Bytes, const char*> cases[] = {
        {false, true, {0x11, 0x22}, "@"},
        {false, false, {}, ""},
        {true, true, {0x11, 0x22}, "RS232_TxRx(): ReadFile(): n_req_rx=4, n_rd=2"},
        {true, false, {}, "RS232_TxRx(): ReadFile(): n_req_rx=4, n_rd=0"},
    };
    for (const auto& [report, buffer, sent, text] : cases) {
        RS232_SetReportShort(port, report);
        peer.Write(sent);
        auto t0 = Clock::now();
        EXPECT_EQ(Receive(4, buffer), kRS232ShortReceive);
        auto took = Clock::now() - t0;
        EXPECT_GE(took, milliseconds(100));
        EXPECT_LT(took, milliseconds(600)) << "the wait set, not the open's";
        EXPECT_EQ(got, sent);
        EXPECT_EQ(err, text);
    }
    Open(20, kRS232ReportShort);
    EXPECT_EQ(Receive(4), kRS232ShortReceive);
    EXPECT_EQ(err, "RS232_TxRx(): ReadFile(): n_req_rx=4, n_rd=0") << "the open's flag";
}

// The owner's stop wakes a receive that waits out a long wait: the bytes so far, code 9
// with its text in the buffer, and again at once until the token is reset.
TEST_F(RS232PortTest, AStopEndsAWaitingReceiveAtOnce) {
    Open(10000, kRS232ReportShort);
    StopToken stop;
    RS232_SetStopToken(port, &stop);
    peer.Write({0x42});
    std::jthread owner([&] {
        std::this_thread::sleep_for(milliseconds(30));
        stop.RequestStop();
    });
    auto t0 = Clock::now();
    EXPECT_EQ(Receive(4), kRS232Cancelled);
    EXPECT_LT(Clock::now() - t0, milliseconds(2000)) << "not the 10 s wait";
    EXPECT_EQ(err, "RS232_TxRx(): Cancelled");
    EXPECT_EQ(got, Bytes{0x42});
    EXPECT_EQ(Receive(4), kRS232Cancelled);
    stop.Reset();
    peer.Write({1, 2, 3, 4});
    EXPECT_EQ(Receive(4), 0u) << err;
    RS232_SetStopToken(port, nullptr);
}

// The counters' change over a complete answer replaces its success; counters readable
// before and not now fail the check; without the played source the pseudo-terminal's
// driver (no counters) decides again.
TEST_F(RS232PortTest, LineErrorsOnACompleteAnswerReplaceSuccess) {
    Open(500, kRS232ReportShort);
    test::PlayedCounters fake;
    fake.counts.frame = 7;  // the baseline: not this exchange's
    RS232_SetLineStatusSource(port, &fake);
    for (const auto& [errors, readable, code, text] : test::kLineStatusCases) {
        AddCommErrors(errors, &fake.counts);
        fake.readable = readable;
        peer.Write({0x01, 0x02});
        EXPECT_EQ(Receive(2), code) << text;
        EXPECT_EQ(got.size(), 2u);
        EXPECT_EQ(err, text);
    }
    RS232_SetLineStatusSource(port, nullptr);
    fake.counts.frame++;
    peer.Write({0x01, 0x02});
    EXPECT_EQ(Receive(2), kRS232Ok) << err;
}

TEST(RS232Framing, SettingsOfTheOpen) {
    termios t{};
    t.c_iflag = IXON | IXOFF | IGNPAR | ISTRIP | ICRNL;
    t.c_cflag = CRTSCTS | CSTOPB;
    t.c_lflag = ICANON | ECHO | ISIG;
    ASSERT_TRUE(RS232_MakeTermios(115200, kParityOdd, 0, &t));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS),
              tcflag_t(CS8 | PARENB | PARODD));
    EXPECT_EQ(t.c_iflag & (INPCK | PARMRK | IXON | IXOFF | IGNPAR | ISTRIP | ICRNL),
              tcflag_t(INPCK | PARMRK));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B115200));
    EXPECT_EQ(cfgetospeed(&t), speed_t(B115200));

    ASSERT_TRUE(RS232_MakeTermios(230400, kParityEven, 0, &t));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD), tcflag_t(PARENB));
    ASSERT_TRUE(RS232_MakeTermios(9600, kParityNone, 0, &t));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(RS232_MakeTermios(12345, kParityNone, 0, &t));
    EXPECT_FALSE(RS232_MakeTermios(9600, 3, 0, &t));
}

// The open's refusals with their texts, and the port list's trial opens: a held port is
// listed with its error, a missing one left out, a free one listed and left free; a null
// handle.
TEST_F(RS232PortTest, OpenRefusalsAndThePortList) {
    Open(100, 0);
    test::PtyPeer free_port;
    ComPortList list;
    RS232_EnumPortsFrom({free_port.port(), "/dev/korvex-missing", peer.port()}, &list);
    std::string listed;
    for (const auto& p : list.ports) listed += p.name + " " + std::to_string(p.error) + "\n";
    EXPECT_EQ(listed, free_port.port() + " 0\n" + peer.port() + " 16\n");
    RS232Port* again = RS232_Open(free_port.port(), 9600, 0, 0, 100, 0, &err);
    EXPECT_NE(again, nullptr) << err;
    RS232_Close(again);
    RS232_EnumPortsFrom({}, &list);
    EXPECT_TRUE(list.ports.empty());

    const std::pair<std::string, std::string> cases[] = {
        {peer.port(), "RS232_Open(): Open port " + peer.port() + " : error 16"},
        {"COM", "RS232_Open(): Invalid Port Name: COM"},
        {"COM1234", "RS232_Open(): Invalid Port Name: COM1234"},
        {"COMX", "RS232_Open(): Open port COMX : error 2"},
        {"/dev/korvex-no-such-port", "RS232_Open(): Open port /dev/korvex-no-such-port : error 2"},
    };
    for (const auto& [name, text] : cases) {
        EXPECT_EQ(RS232_Open(name, 9600, 0, 0, 100, 0, &err), nullptr);
        EXPECT_EQ(err, text);
    }
    // Closed, the port opens again (the exclusive flag does not outlive its owner).
    EXPECT_EQ(RS232_Close(port), 0);
    EXPECT_EQ(RS232_Open(peer.port(), 12345, 0, 0, 100, 0, &err), nullptr);
    EXPECT_EQ(err, "RS232_Open(): SetComState() error");
    port = RS232_Open(peer.port(), 9600, 0, 0, 100, 0, &err);
    EXPECT_NE(port, nullptr) << err;

    // A null handle: refused with its text, its settings ignored, its getters 0 and "".
    EXPECT_EQ(RS232_TxRx(nullptr, nullptr, 0, got.data(), nullptr, 0, &err), kRS232NullHandle);
    EXPECT_EQ(err, "RS232_TxRx(): hComm=0");
    RS232_SetWaitMs(nullptr, 5);
    EXPECT_EQ(RS232_Close(nullptr) + RS232_WaitMs(nullptr) + RS232_Baud(nullptr), 0u);
    EXPECT_EQ(RS232_Name(nullptr), "");
}

}  // namespace
}  // namespace korvex
