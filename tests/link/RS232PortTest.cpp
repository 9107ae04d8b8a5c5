// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/RS232Port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <thread>

#include "app/ErrorCapture.h"
#include "app/CancelHandle.h"
#include "link/PtyPeer.h"

namespace korvex {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

class RS232PortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer.ok()); }
    void TearDown() override { RS232_Close(port); }

    RS232Port* Open(uint32_t timeout_ms, uint8_t flags, uint8_t parity = kParityNone) {
        std::string err;
        port = RS232_Open(peer.port(), 115200, parity, 0, timeout_ms, flags, &err);
        EXPECT_NE(port, nullptr) << err;
        return port;
    }

    test::PtyPeer peer;
    RS232Port* port = nullptr;
};

TEST_F(RS232PortTest, FullAnswerAfterTransmit) {
    Open(500, kRS232ReportShort);
    const uint8_t tx[] = {0x80};
    uint8_t rx[4] = {};
    uint32_t n_rx = 99;
    std::thread regulator([&] {
        EXPECT_EQ(peer.Read(1), std::vector<uint8_t>{0x80});
        peer.Write({0x01, 0x02});
        std::this_thread::sleep_for(milliseconds(20));
        peer.Write({0x03, 0x04, 0x05});  // one more than asked for: stays queued
    });
    std::string err;
    EXPECT_EQ(RS232_TxRx(port, tx, 1, rx, &n_rx, 4, &err), 0u) << err;
    regulator.join();
    EXPECT_EQ(n_rx, 4u);
    EXPECT_EQ(std::vector<uint8_t>(rx, rx + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    uint8_t rest = 0;
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, &rest, &n_rx, 1, &err), 0u);
    EXPECT_EQ(rest, 0x05);
}

TEST_F(RS232PortTest, ShortAnswerEndsAtTheTimeout) {
    for (uint8_t flags : {uint8_t(0), kRS232ReportShort}) {
        Open(100, flags);
        peer.Write({0x11, 0x22});
        uint8_t rx[4];
        uint32_t n_rx = 0;
        std::string err;
        auto t0 = Clock::now();
        EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 4, &err), 16u);
        auto took = Clock::now() - t0;
        EXPECT_GE(took, milliseconds(100));
        EXPECT_LT(took, milliseconds(600));
        EXPECT_EQ(n_rx, 2u);
        EXPECT_EQ(err, flags ? "RS232_TxRx(): ReadFile(): n_req_rx=4, n_rd=2" : "@");
        RS232_Close(port);
        port = nullptr;
    }
}

TEST_F(RS232PortTest, NoAnswerAndTheBufferRule) {
    Open(50, kRS232ReportShort);
    uint8_t rx[4];
    uint32_t n_rx = 7;
    {
        test::ErrorCapture shown;
        EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 4), 16u);
        EXPECT_EQ(shown.texts(),
                  std::vector<std::string>{"RS232_TxRx(): ReadFile(): n_req_rx=4, n_rd=0"});
    }
    EXPECT_EQ(n_rx, 0u);
    port->report_short = 0;
    test::ErrorCapture shown;
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 4), 16u);
    EXPECT_TRUE(shown.texts().empty()) << "a silent short receive shows nothing";
}

// The owner's stop wakes a receive that waits out a long time-out: the bytes so far, code
// 9 with its text in the buffer, and again at once until the handle is reset.
TEST_F(RS232PortTest, ACancelEndsAWaitingReceiveAtOnce) {
    Open(10000, kRS232ReportShort);
    CancelHandle cancel;
    port->cancel = &cancel;
    peer.Write({0x42});
    std::thread owner([&] {
        std::this_thread::sleep_for(milliseconds(30));
        cancel.Signal();
    });
    uint8_t rx[4];
    uint32_t n_rx = 0;
    std::string err;
    auto t0 = Clock::now();
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 4, &err), kRS232Cancelled);
    owner.join();
    EXPECT_LT(Clock::now() - t0, milliseconds(2000)) << "not the 10 s time-out";
    EXPECT_EQ(err, "RS232_TxRx(): Cancelled");
    EXPECT_EQ(n_rx, 1u);
    EXPECT_EQ(rx[0], 0x42);
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 4, &err), kRS232Cancelled);
    cancel.Reset();
    peer.Write({1, 2, 3, 4});
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 4, &err), 0u) << err;
    port->cancel = nullptr;
}

TEST_F(RS232PortTest, TransmitOnlyReturnsAtOnce) {
    Open(1000, kRS232ReportShort);
    std::vector<uint8_t> frame = {0xFF, 0xFE, 0xFC, 0, 0, 2, 0x88, 0xF5};
    auto t0 = Clock::now();
    EXPECT_EQ(RS232_TxRx(port, frame.data(), uint32_t(frame.size()), nullptr, nullptr, 0), 0u);
    EXPECT_LT(Clock::now() - t0, milliseconds(100));
    EXPECT_EQ(peer.Read(8), frame);
}

TEST_F(RS232PortTest, GenuineFfBytesArriveOnce) {
    Open(500, kRS232ReportShort, kParityEven);
    peer.Write({0xFF, 0x00, 0xFF, 0xFF, 0x7E});
    uint8_t rx[5];
    uint32_t n_rx = 0;
    std::string err;
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 5, &err), 0u) << err;
    EXPECT_EQ(std::vector<uint8_t>(rx, rx + 5),
              (std::vector<uint8_t>{0xFF, 0x00, 0xFF, 0xFF, 0x7E}));
}

class FakeCounters : public LineStatusSource {
public:
    bool ReadCounts(intptr_t, LineErrorCounts* out) override {
        *out = counts;
        return readable;
    }
    LineErrorCounts counts;
    bool readable = true;
};

TEST_F(RS232PortTest, LineErrorsOnACompleteAnswerReplaceSuccess) {
    Open(500, kRS232ReportShort);
    FakeCounters fake;
    port->line_status = &fake;
    port->counts = fake.counts;
    port->counts_known = true;
    struct Case {
        void (*bump)(LineErrorCounts&);
        uint32_t code;
        const char* text;
    } cases[] = {
        {[](LineErrorCounts& c) { c.frame++; }, 33, "RS232_TxRx(): CE_FRAME"},
        {[](LineErrorCounts& c) {
             c.brk++;
             c.parity++;
         },
         32, "RS232_TxRx(): CE_BREAK"},
        {[](LineErrorCounts& c) { c.overrun++; }, 35, "RS232_TxRx(): CE_OVERRUN"},
        {[](LineErrorCounts& c) { c.buf_overrun++; }, 36, "RS232_TxRx(): CE_RXOVER"},
        {[](LineErrorCounts& c) { c.parity++; }, 37, "RS232_TxRx(): CE_RXPARITY"},
        {[](LineErrorCounts&) {}, 0, ""},
    };
    for (const auto& c : cases) {
        c.bump(fake.counts);
        peer.Write({0x01, 0x02});
        uint8_t rx[2];
        uint32_t n_rx = 0;
        std::string err;
        EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 2, &err), c.code);
        EXPECT_EQ(n_rx, 2u);
        EXPECT_EQ(err, c.text);
    }

    // Counters that were readable at the open and are not now: the check itself failed.
    fake.readable = false;
    peer.Write({0x01, 0x02});
    uint8_t rx[2];
    uint32_t n_rx = 0;
    std::string err;
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 2, &err), kRS232LineStatusFailed);
    EXPECT_EQ(err, "RS232_TxRx(): ClearCommError() error");
    fake.readable = true;  // readable again: the next exchange is clean
    peer.Write({0x01, 0x02});
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 2, &err), kRS232Ok);
}

TEST(RS232Framing, SettingsOfTheOpen) {
    termios t{};
    t.c_iflag = IXON | IXOFF | IGNPAR | ISTRIP | ICRNL;
    t.c_cflag = CRTSCTS | CSTOPB;
    t.c_lflag = ICANON | ECHO | ISIG;
    ASSERT_TRUE(RS232_MakeTermios(115200, kParityOdd, 0, &t));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_TRUE(t.c_iflag & PARMRK);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IGNPAR | ISTRIP));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_iflag & ICRNL);
    EXPECT_EQ(cfgetispeed(&t), speed_t(B115200));
    EXPECT_EQ(cfgetospeed(&t), speed_t(B115200));

    ASSERT_TRUE(RS232_MakeTermios(230400, kParityEven, 0, &t));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    ASSERT_TRUE(RS232_MakeTermios(9600, kParityNone, 0, &t));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(RS232_MakeTermios(12345, kParityNone, 0, &t));
    EXPECT_FALSE(RS232_MakeTermios(9600, 3, 0, &t));
}

TEST_F(RS232PortTest, OpenRefusalsAndTexts) {
    Open(100, 0);
    struct Case {
        std::string name;
        std::string text;
    } cases[] = {
        {peer.port(), "RS232_Open(): Open port " + peer.port() + " : error 16"},
        {"COM", "RS232_Open(): Invalid Port Name: COM"},
        {"COM1234", "RS232_Open(): Invalid Port Name: COM1234"},
        {"COMX", "RS232_Open(): Open port COMX : error 2"},
        {"/dev/korvex-no-such-port", "RS232_Open(): Open port /dev/korvex-no-such-port : error 2"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(RS232_Open(c.name, 9600, 0, 0, 100, 0, &err), nullptr);
        EXPECT_EQ(err, c.text);
    }
    // Closed, the port opens again (the exclusive flag does not outlive its owner).
    std::string err;
    EXPECT_EQ(RS232_Close(port), 0);
    EXPECT_EQ(RS232_Open(peer.port(), 12345, 0, 0, 100, 0, &err), nullptr);
    EXPECT_EQ(err, "RS232_Open(): SetComState() error");
    port = RS232_Open(peer.port(), 9600, 0, 0, 100, 0, &err);
    EXPECT_NE(port, nullptr) << err;
}

TEST(RS232Port, NullHandle) {
    std::string err;
    uint8_t rx[1];
    uint32_t n = 5;
    EXPECT_EQ(RS232_TxRx(nullptr, nullptr, 0, rx, &n, 1, &err), 1u);
    EXPECT_EQ(err, "RS232_TxRx(): hComm=0");
    EXPECT_EQ(RS232_Close(nullptr), 0);
}

}  // namespace
}  // namespace korvex
