// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/SectorRead.h"

#include <gtest/gtest.h>

#include "recorder/SimulatedRecorder.h"

namespace korvex {
namespace {

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
