// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/ErrorCapture.h"
#include "app/StopToken.h"
#include "app/TempDataDir.h"
#include "link/LinkTrace.h"
#include "link/ModBus.h"
#include "recorder/RecorderEntry.h"
#include "recorder/RecorderLink.h"
#include "recorder/RecordingReader.h"
#include "sim/Regulator.h"

namespace korvex::test {

// Recordings read from the recorder go to a temporary data directory.
inline const auto* const g_recorder_data_dir =
    ::testing::AddGlobalTestEnvironment(new TempDataDirEnvironment);

// A file table entry from its five words.
inline RecorderFileEntry Entry(uint16_t sectors, uint16_t flags, uint16_t a = 0, uint16_t b = 0,
                               uint16_t c = 0) {
    uint16_t w[5] = {sectors, flags, a, b, c};
    return DecodeFileEntry(w);
}

// The recorder of the simulated regulator on a real pseudo-terminal, in ModBus mode at
// 230400 baud; no busy time unless a test wants it.
class SimulatedRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
        model.recorder->faults->busy_ms = 0;
        settings.port_name = sim.port_path();
        settings.av_baud = 230400;
        link = OpenRecorder(settings, &messages);
        ASSERT_NE(link.port, nullptr) << (messages.empty() ? "" : messages[0]);
    }
    void TearDown() override {
        SetLinkTrace(nullptr);
        CloseRecorder(&link, &messages);
    }
    // Counts the ModBus requests the next calls make.
    void CountRequests() {
        requests = 0;
        SetLinkTrace([this](bool tx, const uint8_t*, size_t) { requests += tx; });
    }
    RecorderReadResult Read(int index, const StopToken& stop, RecorderReadEvents events = {}) {
        uint16_t w[5];
        model.recorder->EntryWords(index, w);
        return ReadRecording(link.port, index, DecodeFileEntry(w), stop, events);
    }

    sim::SimRegulator sim;
    sim::RegulatorModel model;
    LinkSettings settings;
    std::vector<std::string> messages;
    RecorderLink link;
    std::atomic<int> requests{0};
    StopToken no_stop;
};

}  // namespace korvex::test
