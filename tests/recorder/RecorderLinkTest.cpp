// SPDX-License-Identifier: GPL-3.0-or-later
// The link to the recorder: its mode started, and sectors read within their retries.
#include "recorder/RecorderLink.h"

#include <gtest/gtest.h>

#include "recorder/SectorRead.h"
#include "recorder/SimulatedRecorder.h"

namespace korvex {
namespace {

TEST(RecorderLink, TheModeStartsOnlyWithARecorder) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    LinkSettings settings;
    settings.port_name = sim.port_path();
    settings.av_baud = 57600;
    std::vector<std::string> messages;
    RecorderLink link = OpenRecorder(settings, &messages);
    EXPECT_EQ(link.port, nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"Unsupported Osc.AvSpeed"});
    EXPECT_TRUE(sim.Received().empty()) << "the port untouched";

    // Version 0: the message, and the regulator back in its normal mode.
    model.recorder->faults->version = 0;
    settings.av_baud = 115200;
    messages.clear();
    link = OpenRecorder(settings, &messages);
    EXPECT_EQ(link.port, nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"Система не имеет аварийного осциллографа!"});
    auto received = sim.Received();
    received.resize(8);
    EXPECT_EQ(received, (std::vector<uint8_t>{0xFF, 0xFE, 0xFC, 0x00, 0x00, 0x02, 0x80, 0xF5}))
        << "key 640";
    EXPECT_TRUE(test::PollUntil([&] { return sim.current_mode() == "normal"; }, 200));
}

using SectorReadTest = test::SimulatedRecorder;

TEST_F(SectorReadTest, BusyAnswersAndOverrunsAreRetriedWithinTheirLimits) {
    // Busy answers to the first chunk for 300 ms pass; for 700 ms they stop the read.
    model.recorder->faults->busy_ms = 300;
    uint16_t w[kSectorWords];
    std::string text;
    const uint16_t sector = 2;
    ASSERT_EQ(ModBus_WriteMultipleReg(link.port, 1, kRecorderSectorReg, 1, &sector, &text), 0u);
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), 0u) << text;
    model.recorder->faults->busy_ms = 700;
    ASSERT_EQ(ModBus_WriteMultipleReg(link.port, 1, kRecorderSectorReg, 1, &sector, &text), 0u);
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), kModBusExceptionBase + 6);
    EXPECT_NE(text.find("Exception 6 (SLAVE_BUSY)"), std::string::npos) << text;
    // A busy answer to the second chunk is a failure at once.
    model.recorder->faults->busy_ms = 0;
    model.recorder->faults->busy_second_chunk = 1;
    CountRequests();
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), kModBusExceptionBase + 6);
    EXPECT_EQ(requests, 2);

    // Overruns, through the port's line-status seam: two per chunk pass, a third stops.
    // An attempt whose answer overruns reads the counters three times: when the pending
    // input is discarded before the request, after the answer's first bytes (the overrun
    // shows there), and when the rest of the damaged answer is discarded. A rise seen
    // at a discard is no error, so each overrun takes three of `left`.
    struct Overruns : LineStatusSource {
        bool ReadCounts(intptr_t, LineErrorCounts* out) override {
            if (left > 0) {
                --left;
                ++counts.overrun;
            }
            *out = counts;
            return true;
        }
        LineErrorCounts counts;
        int left = 0;
    } overruns;
    RS232_SetLineStatusSource(link.port, &overruns);
    overruns.left = 6;
    CountRequests();
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), 0u) << text;
    EXPECT_EQ(requests, 5) << "two repeats of the first chunk, then the other two";
    overruns.left = 8;
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), kLineOverrun);
    EXPECT_EQ(text, "Слишком много попыток считывания сектора (OVER)");
    RS232_SetLineStatusSource(link.port, nullptr);
}

}  // namespace
}  // namespace korvex
