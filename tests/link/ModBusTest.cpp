// SPDX-License-Identifier: GPL-3.0-or-later
// The ModBus client and the switch into and out of the regulator's ModBus mode: against a
// regulator played by the test byte by byte, against the simulated regulator, and against
// libmodbus, an implementation we did not write.
#include "link/ModBus.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "app/ErrorCapture.h"
#include "link/ModBusCRC.h"
#include "link/ModeSwitch.h"
#include "link/PlayedCounters.h"
#include "link/PtyPeer.h"
#include "link/RS232PortTesting.h"
#include "sim/Regulator.h"

namespace korvex {
namespace {

using Bytes = std::vector<uint8_t>;

// ModBus_ReadHldReg(port, 1, 0, 1, ...) on the wire.
const Bytes kReadOne = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};

Bytes WithCrc(Bytes b) {
    uint16_t crc = ModBus_CRC(b.data(), b.size());
    b.push_back(uint8_t(crc));
    b.push_back(uint8_t(crc >> 8));
    return b;
}

// The wire order of the CRC is checked by the frames below (kReadOne, the exit message).
TEST(ModBusCRC, CheckValues) {
    EXPECT_EQ(ModBus_CRC(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x4B37);
    EXPECT_EQ(ModBus_CRC(nullptr, 0), 0xFFFF);
}

// The client against a regulator played by the test, byte by byte.
class ModBusWireTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        port = RS232_Open(peer.port(), 115200, kParityEven, 0, 100, 0, &err);
        ASSERT_NE(port, nullptr) << err;
    }
    void TearDown() override { RS232_Close(port); }

    // Answers the next request with `answer` once `request` has arrived whole.
    void Expect(Bytes request, Bytes answer) {
        Play([this, request, answer] {
            EXPECT_EQ(peer.Read(request.size(), 500), request);
            if (!answer.empty()) peer.Write(answer);
        });
    }
    // The regulator's next part, once the part before has ended: joined first, since the
    // new thread would otherwise start while the old one still reads.
    void Play(std::function<void()> part) {
        if (regulator.joinable()) regulator.join();
        regulator = std::jthread(std::move(part));
    }

    test::PtyPeer peer;
    RS232Port* port = nullptr;
    std::string err;
    uint16_t v[130] = {};
    std::jthread regulator;
};

TEST_F(ModBusWireTest, RequestsOnTheWire) {
    Expect(kReadOne, WithCrc({0x01, 0x03, 0x02, 0x12, 0x34}));
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v, &err), 0u) << err;
    EXPECT_EQ(v[0], 0x1234);

    Expect(WithCrc({0x01, 0x04, 0x80, 0x00, 0x00, 0x02}),
           WithCrc({0x01, 0x04, 0x04, 0xAB, 0xCD, 0x00, 0x07}));
    EXPECT_EQ(ModBus_ReadInpReg(port, 1, 0x8000, 2, v, &err), 0u) << err;
    EXPECT_EQ(std::pair(v[0], v[1]), (std::pair<uint16_t, uint16_t>(0xABCD, 0x0007)));

    Expect(WithCrc({0x01, 0x06, 0x80, 0x06, 0x00, 0x01}),
           WithCrc({0x01, 0x06, 0x80, 0x06, 0x00, 0x01}));
    EXPECT_EQ(ModBus_WriteSingleReg(port, 1, 0x8006, 1, &err), 0u) << err;

    const uint16_t values[] = {0x0102, 0xA0B0};
    Expect(WithCrc({0x01, 0x10, 0x81, 0x00, 0x00, 0x02, 0x04, 0x01, 0x02, 0xA0, 0xB0}),
           WithCrc({0x01, 0x10, 0x81, 0x00, 0x00, 0x02}));
    EXPECT_EQ(ModBus_WriteMultipleReg(port, 1, 0x8100, 2, values, &err), 0u) << err;

    // CAN answers of no data and of three bytes, then of nine: more than a CAN frame holds.
    uint8_t out[kCanMaxData], req[] = {0x78, 0x01};
    uint32_t count = 99;
    for (const Bytes& data : {Bytes{}, Bytes{0xAA, 0xBB, 0xCC}}) {
        Bytes answer = {0x00, 0x41, uint8_t(0x06 | data.size() << 4), 0x90};
        answer.insert(answer.end(), data.begin(), data.end());
        Expect(WithCrc({0x00, 0x41, 0x26, 0x90, 0x78, 0x01}), WithCrc(answer));
        EXPECT_EQ(ModBus_CanTxRx(port, 0, req, 2, 0x690, out, &count, &err), 0u) << err;
        EXPECT_EQ(Bytes(out, out + count), data);
    }

    Expect(WithCrc({0x00, 0x41, 0x26, 0x90, 0x78, 0x01}),
           WithCrc({0x00, 0x41, 0x96, 0x90, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(ModBus_CanTxRx(port, 0, req, 2, 0x690, out, &count, &err), kModBusProtocolError);
    EXPECT_EQ(err, "ModBus_CanTxRx(Addr=0):\nModBus_TxRx(): CAN answer with 9 data bytes");

    const uint8_t exit_msg[] = {0x23, 0x07, 0x00};
    Expect({0x00, 0x41, 0x36, 0x90, 0x23, 0x07, 0x00, 0x02, 0xEF}, {});
    EXPECT_EQ(ModBus_CanTx(port, 0, exit_msg, 3, 0x690, &err), 0u);
    // A frame without data, and no buffer for it (found by fuzzing: the copy of no bytes
    // from no buffer is undefined).
    Expect(WithCrc({0x00, 0x41, 0x06, 0x90}), {});
    EXPECT_EQ(ModBus_CanTx(port, 0, nullptr, 0, 0x690, &err), 0u);
}

TEST_F(ModBusWireTest, FailuresWithTheirNestedTexts) {
    const std::string read = "ModBus_ReadHldReg(Addr=1, Reg=0, Num=1):\nModBus_TxRx(): ";
    const std::string phase1 = read + "Rx(phase1) error:";
    constexpr uint32_t kBad = kModBusProtocolError;
    const std::tuple<Bytes, uint32_t, std::string> cases[] = {
        {{}, 16, phase1 + "\n@"},
        {{0x01, 0x03, 0x02, 0x00}, 16, read + "Rx(phase2) error:\n@"},
        {WithCrc({0x02, 0x03, 0x02, 0x00, 0x05}), kBad, phase1 + " first byte (addr) error"},
        {WithCrc({0x01, 0x04, 0x02, 0x00, 0x05}), kBad, phase1 + " second byte (function) error"},
        {{0x01, 0x03, 0x02, 0x00, 0x05, 0x00, 0x00}, kBad, read + "Rx CRC error"},
        {WithCrc({0x01, 0x83, 0x02}), 0x102, read + "Exception 2 (ILLEGAL_DATA_ADDRESS)"},
        {WithCrc({0x01, 0x83, 0x0C}), 0x10C, read + "Exception 12 (Uknown)"},
        {WithCrc({0x01, 0x83, 0x07}), 0x107, read + "Exception 7 (?\?\?)"},
        {WithCrc({0x01, 0x83, 0x09}), 0x109, read + "Exception 9 (?\?\?)"},
        {WithCrc({0x01, 0x83, 0x0B}), 0x10B, read + "Exception 11 (GATEWAY_TGT_FAILED)"},
    };
    for (const auto& [answer, code, text] : cases) {
        Expect(kReadOne, answer);
        EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v, &err), code) << text;
        EXPECT_EQ(err, text);
    }
    // With the phase texts shown when the caller gives no buffer.
    test::ErrorCapture shown;
    Expect(kReadOne, WithCrc({0x01, 0x83, 0x02}));
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v), 0x102u);
    EXPECT_EQ(shown.texts(), std::vector<std::string>{read + "Exception 2 (ILLEGAL_DATA_ADDRESS)"});
}

TEST_F(ModBusWireTest, TheRestOfABrokenAnswerAndItsLineErrorsDoNotSpoilTheNext) {
    Expect(kReadOne, WithCrc({0x02, 0x03, 0x02, 0x00, 0x05}));
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v, &err), kModBusProtocolError);
    // The rest of that answer is read away with the failed call...
    uint8_t b = 0;
    uint32_t n = 0;
    RS232_SetWaitMs(port, 50);
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, &b, &n, 1, &err), kRS232ShortReceive);
    // ...also when it is still on its way after the call has seen enough (the soak found
    // the next answers shifted by such a rest): a wrong address, then the answer's rest
    // 10 ms later, then the next exchange.
    Play([this] {
        peer.Read(8, 500);
        peer.Write(Bytes{0x02, 0x03, 0x02});
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        peer.Write(Bytes{0x00, 0x05, 0xFD, 0x85});
    });
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v, &err), kModBusProtocolError);
    Expect(kReadOne, WithCrc({0x01, 0x03, 0x02, 0x00, 0x09}));
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v, &err), 0u) << err;
    EXPECT_EQ(v[0], 9);

    // Nor do its line errors: a broken, short answer arrives with a framing error...
    test::PlayedCounters fake;
    RS232_SetLineStatusSource(port, &fake);
    Expect(kReadOne, {0x01, 0x03});
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v, &err), kRS232ShortReceive);
    fake.counts.frame = 1;  // the driver counted it; the short receive did not look
    // ...and the next, clean exchange is not charged with it.
    Expect(kReadOne, WithCrc({0x01, 0x03, 0x02, 0x00, 0x07}));
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v, &err), 0u) << err;
    EXPECT_EQ(v[0], 7);
}

TEST_F(ModBusWireTest, CountsOfZeroAndBeyondTheLimits) {
    err = "untouched";
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 0, v, &err), 0u);
    EXPECT_EQ(ModBus_WriteMultipleReg(port, 1, 0, 0, v, &err), 0u);
    EXPECT_EQ(err, "untouched");
    EXPECT_TRUE(peer.Read(1, 30).empty()) << "nothing was sent";

    // An input-register read of 0 goes out; its 3-byte answer length makes the answer an
    // exception answer.
    Expect(WithCrc({0x01, 0x04, 0x00, 0x10, 0x00, 0x00}), WithCrc({0x01, 0x04, 0x00}));
    EXPECT_EQ(ModBus_ReadInpReg(port, 1, 0x10, 0, v, &err), 0x100u);
    EXPECT_EQ(err, "ModBus_ReadInpReg(Addr=1, Reg=16, Num=0):\nModBus_TxRx(): Exception 0 (NONE)");

    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 126, v, &err), kModBusProtocolError);
    EXPECT_EQ(err,
              "ModBus_ReadHldReg(Addr=1, Reg=0, Num=126):\nNum=126 is beyond the ModBus limit of "
              "125 registers");
    EXPECT_EQ(ModBus_WriteMultipleReg(port, 1, 0, 124, v, &err), kModBusProtocolError);
    EXPECT_EQ(err,
              "ModBus_WriteMultipleReg(Addr=1, Reg=0, Num=124):\nNum=124 is beyond the ModBus "
              "limit of 123 registers");
    uint8_t data[9] = {}, out[kCanMaxData];
    uint32_t count;
    EXPECT_EQ(ModBus_CanTxRx(port, 0, data, 9, 0x690, out, &count, &err), kModBusProtocolError);
    EXPECT_TRUE(peer.Read(1, 30).empty()) << "refused requests send nothing";
}

// The link against the simulated regulator, started in its normal mode, or in ModBus
// mode at `baud`.
class SimLinkTest : public ::testing::Test {
protected:
    bool Start(uint32_t baud = 0) { return sim::StartRegulator(sim, model, &err, baud); }
    bool WaitForMode(const std::string& mode) {
        return test::PollUntil([&] { return sim.current_mode() == mode; }, 600);
    }

    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
};
using ModBusConcurrency = SimLinkTest;
using ModeSwitchTest = SimLinkTest;
using ModBusInterop = SimLinkTest;

TEST_F(ModBusConcurrency, ThreadsNeverInterleaveOnTheWireAndTheRegulatorsExceptions) {
    ASSERT_TRUE(Start(230400)) << err;
    RS232Port* port = RS232_Open(sim.port_path(), 230400, kParityEven, 0, 1000, 0, &err);
    ASSERT_NE(port, nullptr) << err;
    for (uint16_t i = 0; i < 80; ++i)
        model.registers->Set(uint16_t(0x9000 + i), uint16_t(i * 3), true);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int k = 0; k < 15; ++k) {
                const uint16_t reg = uint16_t(0x9000 + (t * 16 + k) % 64);
                uint16_t values[16];
                std::string e;
                EXPECT_EQ(ModBus_ReadHldReg(port, 1, reg, 16 - uint16_t(k % 8), values, &e), 0u)
                    << e;
                EXPECT_EQ(values[0], (reg - 0x9000) * 3) << "the answer to this request";
            }
        });
    for (auto& th : threads) th.join();
    const auto wire = sim.Wire();
    // The regulator's exceptions: a register it lacks, a read-only register written.
    uint16_t v;
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 9999, 1, &v, &err), 0x102u);
    EXPECT_EQ(ModBus_WriteSingleReg(port, 1, 130, 7, &err), 0x102u);
    RS232_Close(port);
    // On the wire every request stands alone, followed by its own answer.
    ASSERT_EQ(wire.size(), 2u * 4 * 15);
    for (size_t k = 0; k < wire.size(); k += 2) {
        ASSERT_TRUE(wire[k].from_program && !wire[k + 1].from_program) << "a request, an answer";
        ASSERT_EQ(wire[k].bytes.size(), 8u) << "one request of 8 bytes, not two interleaved";
        EXPECT_EQ(wire[k + 1].bytes[1], wire[k].bytes[1]) << "the answer to this request";
    }
}

TEST_F(ModeSwitchTest, RecorderAt230400AndBack) {
    ASSERT_TRUE(Start()) << err;
    RS232Port* port =
        TSR_RS232_Open_ModBus(sim.port_path(), kKeyRecorder230400, 230400, kParityEven, &err);
    ASSERT_NE(port, nullptr) << err;
    EXPECT_EQ(std::pair(RS232_Baud(port), RS232_WaitMs(port)), std::pair(230400u, 1000u));
    ASSERT_TRUE(WaitForMode("modbus"));
    uint16_t version = 0;
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0x8000, 1, &version, &err), 0u) << err;
    EXPECT_EQ(version, 1);
    // Short receives are silent: "@", no text.
    uint8_t b;
    uint32_t n;
    RS232_SetWaitMs(port, 20);
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, &b, &n, 1, &err), kRS232ShortReceive);
    EXPECT_EQ(err, "@");
    EXPECT_EQ(TSR_RS232_exit_ModBus(port, &err), 0) << err;
    ASSERT_TRUE(WaitForMode("normal"));

    auto wire = sim.Wire();
    ASSERT_GE(wire.size(), 4u);
    EXPECT_EQ(wire[0].mode + " " + wire.back().mode, "normal modbus");
    EXPECT_EQ(wire[0].bytes, (Bytes{0xFF, 0xFE, 0xFC, 0x00, 0x00, 0x02, 0x88, 0xF5}));
    EXPECT_EQ(wire.back().bytes, (Bytes{0x00, 0x41, 0x36, 0x90, 0x23, 0x07, 0x00, 0x02, 0xEF}));
}

// A held port: one message with the three prefixes, nothing sent; once free, the diary's
// key frame.
TEST_F(ModeSwitchTest, HeldPortGivesOneMessageWithThreePrefixesThenTheDiaryKey) {
    ASSERT_TRUE(Start()) << err;
    RS232Port* holder = RS232_Open(sim.port_path(), 9600, 0, 0, 100, 0, &err);
    ASSERT_NE(holder, nullptr) << err;
    test::ErrorCapture shown;
    EXPECT_EQ(TSR_RS232_Open_ModBus(sim.port_path(), kKeyDiary, 115200, kParityEven), nullptr);
    EXPECT_EQ(shown.texts(),
              std::vector<std::string>{"TSR_RS232_Open_ModBus(): TSR_RS232_to_ModBus(): "
                                       "RS232_Open(): Open port " +
                                       sim.port_path() + " : error 16"});
    RS232_Close(holder);
    EXPECT_EQ(sim.current_mode(), "normal");
    EXPECT_TRUE(sim.Received().empty());
    EXPECT_EQ(TSR_RS232_to_ModBus(sim.port_path(), kKeyDiary, &err), 0) << err;
    ASSERT_TRUE(WaitForMode("modbus"));
    EXPECT_EQ(sim.Received(), (Bytes{0xFF, 0xFE, 0xFC, 0x00, 0x00, 0x00, 0x00, 0xF5}));
}

TEST_F(ModeSwitchTest, ExitClosesThePortEvenWhenTheTransmitFails) {
    ASSERT_TRUE(Start()) << err;
    RS232Port* port = RS232_Open(sim.port_path(), 115200, kParityEven, 0, 100, 0, &err);
    ASSERT_NE(port, nullptr);
    int fd = int(RS232_NativeHandle(port));
    // A device that has gone away: writes fail.
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, fd);
    close(devnull);
    EXPECT_EQ(TSR_RS232_exit_ModBus(port, &err), int32_t(kRS232WriteFailed));
    EXPECT_EQ(err, "TSR_RS232_exit_ModBus(): RS232_TxRx(): WriteFile(9 bytes): error 0x9");
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the descriptor was closed";
}

// A null-modem cable between two pseudo-terminals: what is written on one port comes out
// of the other, for the life of the object.
struct PtyBridge {
    sim::PtyPair a, b;
    std::string err;
    const bool ok = a.Open(&err) && b.Open(&err);
    std::jthread thread{[this](std::stop_token stop) {
        while (ok && !stop.stop_requested()) {
            pollfd fds[2] = {{a.master(), POLLIN, 0}, {b.master(), POLLIN, 0}};
            if (poll(fds, 2, 10) <= 0) continue;
            uint8_t buf[512];
            for (int i = 0; i < 2; ++i) {
                ssize_t n = fds[i].revents & POLLIN ? read(fds[i].fd, buf, sizeof buf) : 0;
                if (n > 0) (void)!write(fds[1 - i].fd, buf, size_t(n));
            }
        }
    }};
};

TEST_F(ModBusInterop, OurClientAgainstALibmodbusServer) {
    PtyBridge cable;
    ASSERT_TRUE(cable.ok) << cable.err;
    modbus_t* server = modbus_new_rtu(cable.a.slave_path().c_str(), 115200, 'E', 8, 1);
    ASSERT_NE(server, nullptr);
    modbus_set_slave(server, 1);
    ASSERT_EQ(modbus_connect(server), 0) << modbus_strerror(errno);
    modbus_mapping_t* map = modbus_mapping_new_start_address(0, 0, 0, 0, 100, 200, 100, 50);
    for (int i = 0; i < 200; ++i) map->tab_registers[i] = uint16_t(0x1000 + i);
    for (int i = 0; i < 50; ++i) map->tab_input_registers[i] = uint16_t(0x2000 + i);

    std::jthread serve([&](std::stop_token stop) {
        modbus_set_indication_timeout(server, 0, 50000);
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop.stop_requested()) {
            int n = modbus_receive(server, query);
            if (n > 0) modbus_reply(server, query, n, map);
        }
    });

    RS232Port* port = RS232_Open(cable.b.slave_path(), 115200, kParityEven, 0, 500, 0, &err);
    ASSERT_NE(port, nullptr) << err;
    uint16_t v[125] = {};
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 100, 125, v, &err), 0u) << err;
    EXPECT_EQ(std::pair(v[0], v[124]), (std::pair<uint16_t, uint16_t>(0x1000, 0x1000 + 124)));
    EXPECT_EQ(ModBus_ReadInpReg(port, 1, 100, 3, v, &err), 0u) << err;
    EXPECT_EQ(v[2], 0x2002);
    EXPECT_EQ(ModBus_WriteSingleReg(port, 1, 150, 0xBEEF, &err), 0u) << err;
    const uint16_t many[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(ModBus_WriteMultipleReg(port, 1, 160, 5, many, &err), 0u) << err;
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 150, 15, v, &err), 0u) << err;
    EXPECT_EQ(std::pair(v[0], v[14]), (std::pair<uint16_t, uint16_t>(0xBEEF, 5)));
    // Its exceptions (their texts: ModBusWireTest.FailuresWithTheirNestedTexts).
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 10, 1, v, &err), 0x102u);
    EXPECT_EQ(ModBus_WriteMultipleReg(port, 1, 299, 2, many, &err), 0x102u);

    serve.request_stop();
    serve.join();
    RS232_Close(port);
    modbus_mapping_free(map);
    modbus_close(server);
    modbus_free(server);
}

}  // namespace
}  // namespace korvex
