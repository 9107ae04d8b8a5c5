// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ModBus.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/ErrorCapture.h"
#include "link/ModBusCRC.h"
#include "link/PlayedCounters.h"
#include "link/PtyPeer.h"
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

TEST(ModBusCRC, CheckValuesAndWireOrder) {
    const char* check = "123456789";
    EXPECT_EQ(ModBus_CRC(reinterpret_cast<const uint8_t*>(check), 9), 0x4B37);
    EXPECT_EQ(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), kReadOne);
    EXPECT_EQ(WithCrc({0x00, 0x41, 0x36, 0x90, 0x23, 0x07, 0x00}),
              (Bytes{0x00, 0x41, 0x36, 0x90, 0x23, 0x07, 0x00, 0x02, 0xEF}));
    EXPECT_EQ(ModBus_CRC(nullptr, 0), 0xFFFF);
}

// The client against a regulator played by the test, byte by byte.
class ModBusWireTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        std::string err;
        port = RS232_Open(peer.port(), 115200, kParityEven, 0, 100, 0, &err);
        ASSERT_NE(port, nullptr) << err;
    }
    void TearDown() override { RS232_Close(port); }

    // Answers the next request with `answer` once `request` has arrived whole.
    void Expect(Bytes request, Bytes answer) {
        regulator = std::thread([this, request, answer] {
            Bytes got = peer.Read(request.size(), 500);
            EXPECT_EQ(got, request);
            if (!answer.empty()) peer.Write(answer);
        });
    }
    void Done() {
        if (regulator.joinable()) regulator.join();
    }

    test::PtyPeer peer;
    RS232Port* port = nullptr;
    std::thread regulator;
};

TEST_F(ModBusWireTest, RequestsOnTheWire) {
    uint16_t v[2] = {};
    std::string err;
    Expect(kReadOne, WithCrc({0x01, 0x03, 0x02, 0x12, 0x34}));
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v, &err), 0u) << err;
    Done();
    EXPECT_EQ(v[0], 0x1234);

    Expect(WithCrc({0x01, 0x04, 0x80, 0x00, 0x00, 0x02}),
           WithCrc({0x01, 0x04, 0x04, 0xAB, 0xCD, 0x00, 0x07}));
    EXPECT_EQ(ModBus_ReadInpReg(port, 1, 0x8000, 2, v, &err), 0u) << err;
    Done();
    EXPECT_EQ(v[0], 0xABCD);
    EXPECT_EQ(v[1], 0x0007);

    Expect(WithCrc({0x01, 0x06, 0x80, 0x06, 0x00, 0x01}),
           WithCrc({0x01, 0x06, 0x80, 0x06, 0x00, 0x01}));
    EXPECT_EQ(ModBus_WriteSingleReg(port, 1, 0x8006, 1, &err), 0u) << err;
    Done();

    const uint16_t values[] = {0x0102, 0xA0B0};
    Expect(WithCrc({0x01, 0x10, 0x81, 0x00, 0x00, 0x02, 0x04, 0x01, 0x02, 0xA0, 0xB0}),
           WithCrc({0x01, 0x10, 0x81, 0x00, 0x00, 0x02}));
    EXPECT_EQ(ModBus_WriteMultipleReg(port, 1, 0x8100, 2, values, &err), 0u) << err;
    Done();

    uint8_t out[kCanMaxData];
    uint32_t count = 99;
    const uint8_t req[] = {0x78, 0x01};
    Expect(WithCrc({0x00, 0x41, 0x26, 0x90, 0x78, 0x01}), WithCrc({0x00, 0x41, 0x06, 0x90}));
    EXPECT_EQ(ModBus_CanTxRx(port, 0, req, 2, 0x690, out, &count, &err), 0u) << err;
    Done();
    EXPECT_EQ(count, 0u);
    Expect(WithCrc({0x00, 0x41, 0x26, 0x90, 0x78, 0x01}),
           WithCrc({0x00, 0x41, 0x36, 0x90, 0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(ModBus_CanTxRx(port, 0, req, 2, 0x690, out, &count, &err), 0u) << err;
    Done();
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{0xAA, 0xBB, 0xCC}));

    Expect(WithCrc({0x00, 0x41, 0x26, 0x90, 0x78, 0x01}),
           WithCrc({0x00, 0x41, 0x96, 0x90, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(ModBus_CanTxRx(port, 0, req, 2, 0x690, out, &count, &err), kModBusProtocolError);
    Done();
    EXPECT_EQ(err, "ModBus_CanTxRx(Addr=0):\nModBus_TxRx(): CAN answer with 9 data bytes");

    const uint8_t exit_msg[] = {0x23, 0x07, 0x00};
    Expect({0x00, 0x41, 0x36, 0x90, 0x23, 0x07, 0x00, 0x02, 0xEF}, {});
    EXPECT_EQ(ModBus_CanTx(port, 0, exit_msg, 3, 0x690, &err), 0u);
    Done();
    // A frame without data, and no buffer for it (found by fuzzing: the copy of no bytes
    // from no buffer is undefined).
    Expect(WithCrc({0x00, 0x41, 0x06, 0x90}), {});
    EXPECT_EQ(ModBus_CanTx(port, 0, nullptr, 0, 0x690, &err), 0u);
    Done();
}

TEST_F(ModBusWireTest, FailuresWithTheirNestedTexts) {
    const std::string read = "ModBus_ReadHldReg(Addr=1, Reg=0, Num=1):\n";
    struct Case {
        Bytes answer;
        uint32_t code;
        std::string text;
    } cases[] = {
        {{}, 16, read + "ModBus_TxRx(): Rx(phase1) error:\n@"},
        {{0x01, 0x03, 0x02, 0x00}, 16, read + "ModBus_TxRx(): Rx(phase2) error:\n@"},
        {WithCrc({0x02, 0x03, 0x02, 0x00, 0x05}), kModBusProtocolError,
         read + "ModBus_TxRx(): Rx(phase1) error: first byte (addr) error"},
        {WithCrc({0x01, 0x04, 0x02, 0x00, 0x05}), kModBusProtocolError,
         read + "ModBus_TxRx(): Rx(phase1) error: second byte (function) error"},
        {{0x01, 0x03, 0x02, 0x00, 0x05, 0x00, 0x00},
         kModBusProtocolError,
         read + "ModBus_TxRx(): Rx CRC error"},
        {WithCrc({0x01, 0x83, 0x02}), kModBusExceptionBase + kModBusIllegalDataAddress,
         read + "ModBus_TxRx(): Exception 2 (ILLEGAL_DATA_ADDRESS)"},
        {WithCrc({0x01, 0x83, 0x0C}), 0x10C, read + "ModBus_TxRx(): Exception 12 (Uknown)"},
        {WithCrc({0x01, 0x83, 0x07}), 0x107, read + "ModBus_TxRx(): Exception 7 (?\?\?)"},
        {WithCrc({0x01, 0x83, 0x09}), 0x109, read + "ModBus_TxRx(): Exception 9 (?\?\?)"},
        {WithCrc({0x01, 0x83, 0x0B}), 0x10B,
         read + "ModBus_TxRx(): Exception 11 (GATEWAY_TGT_FAILED)"},
    };
    for (const auto& c : cases) {
        Expect(kReadOne, c.answer);
        uint16_t v = 0;
        std::string err;
        EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, &v, &err), c.code) << c.text;
        Done();
        EXPECT_EQ(err, c.text);
    }
    // With the phase texts shown when the caller gives no buffer.
    test::ErrorCapture shown;
    Expect(kReadOne, WithCrc({0x01, 0x83, 0x02}));
    uint16_t v;
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, &v), 0x102u);
    Done();
    EXPECT_EQ(shown.texts(),
              std::vector<std::string>{read + "ModBus_TxRx(): Exception 2 (ILLEGAL_DATA_ADDRESS)"});
}

TEST_F(ModBusWireTest, SurplusOfABrokenAnswerDoesNotSpoilTheNext) {
    Expect(kReadOne, WithCrc({0x02, 0x03, 0x02, 0x00, 0x05}));
    uint16_t v = 0;
    std::string err;
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, &v, &err), kModBusProtocolError);
    Done();
    // The rest of that answer is read away with the failed call...
    uint8_t b = 0;
    uint32_t n = 0;
    RS232_SetWaitMs(port, 50);
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, &b, &n, 1, &err), kRS232ShortReceive);
    // ...also when it is still on its way after the call has seen enough (the soak found
    // the next answers shifted by such a rest): a wrong address, then the answer's rest
    // 10 ms later, then the next exchange.
    regulator = std::thread([this] {
        peer.Read(8, 500);
        peer.Write(Bytes{0x02, 0x03, 0x02});
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        peer.Write(Bytes{0x00, 0x05, 0xFD, 0x85});
    });
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, &v, &err), kModBusProtocolError);
    Done();
    Expect(kReadOne, WithCrc({0x01, 0x03, 0x02, 0x00, 0x09}));
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, &v, &err), 0u) << err;
    Done();
    EXPECT_EQ(v, 9);
}

TEST_F(ModBusWireTest, LineErrorsOfADiscardedAnswerStayWithIt) {
    test::PlayedCounters fake;
    RS232_SetLineStatusSource(port, &fake);
    // A broken, short answer arrives with a framing error...
    Expect(kReadOne, {0x01, 0x03});
    uint16_t v = 0;
    std::string err;
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, &v, &err), kRS232ShortReceive);
    Done();
    fake.counts.frame = 1;  // the driver counted it; the short receive did not look
    // ...and the next, clean exchange is not charged with it.
    Expect(kReadOne, WithCrc({0x01, 0x03, 0x02, 0x00, 0x07}));
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, &v, &err), 0u) << err;
    Done();
    EXPECT_EQ(v, 7);
}

TEST_F(ModBusWireTest, CountsOfZeroAndBeyondTheLimits) {
    uint16_t v[130] = {};
    std::string err = "untouched";
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 0, v, &err), 0u);
    EXPECT_EQ(ModBus_WriteMultipleReg(port, 1, 0, 0, v, &err), 0u);
    EXPECT_EQ(err, "untouched");
    EXPECT_TRUE(peer.Read(1, 30).empty()) << "nothing was sent";

    // An input-register read of 0 goes out; its 3-byte answer length makes the answer an
    // exception answer.
    Expect(WithCrc({0x01, 0x04, 0x00, 0x10, 0x00, 0x00}), WithCrc({0x01, 0x04, 0x00}));
    EXPECT_EQ(ModBus_ReadInpReg(port, 1, 0x10, 0, v, &err), 0x100u);
    Done();
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

TEST(ModBusConcurrency, ThreadsNeverInterleaveOnTheWire) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err, 230400)) << err;
    RS232Port* port = RS232_Open(sim.port_path(), 230400, kParityEven, 0, 1000, 0, &err);
    ASSERT_NE(port, nullptr) << err;
    for (uint16_t i = 0; i < 80; ++i)
        model.registers->Set(uint16_t(0x9000 + i), uint16_t(i * 3), true);

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < 15; ++k) {
                uint16_t reg = uint16_t(0x9000 + (t * 16 + k) % 64);
                uint16_t values[16];
                std::string e;
                if (ModBus_ReadHldReg(port, 1, reg, 16 - uint16_t(k % 8), values, &e) ||
                    values[0] != (reg - 0x9000) * 3) {
                    ADD_FAILURE() << e;
                    ++failures;
                }
                if (ModBus_WriteSingleReg(port, 1, reg, uint16_t((reg - 0x9000) * 3), &e)) {
                    ADD_FAILURE() << e;
                    ++failures;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    RS232_Close(port);
    // On the wire every request stands alone, followed by its own answer.
    auto wire = sim.Wire();
    ASSERT_EQ(wire.size(), 2u * 4 * 15 * 2);
    for (size_t k = 0; k < wire.size(); k += 2) {
        ASSERT_TRUE(wire[k].from_program);
        ASSERT_EQ(wire[k].bytes.size(), 8u) << "one request of 8 bytes, not two interleaved";
        ASSERT_FALSE(wire[k + 1].from_program);
        EXPECT_EQ(wire[k + 1].bytes[1], wire[k].bytes[1]) << "the answer to this request";
    }
}

}  // namespace
}  // namespace korvex
