// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecordingReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "recorder/SectorConverter.h"
#include "recorder/SimulatedRecorder.h"

namespace korvex {
namespace {

using ReadRecordingTest = test::SimulatedRecorder;

TEST_F(ReadRecordingTest, ARecordingInEachLayoutIsReadWhole) {
    // The simulated recorder: 12 channels at 500 Hz whose N wraps from 65535 to 0, 10
    // channels at 250 Hz, 8 channels at 50 Hz. The file holds, byte for byte, the
    // conversion of every sector the recorder holds (the layouts are the converter's
    // own tests).
    test::TempDir tmp;
    const std::string expected = tmp.path() + "/expected.trd";
    for (int index : {0, 1, 2}) {
        std::vector<int> percents;
        RecorderReadEvents events;
        events.progress = [&](int p) { percents.push_back(p); };
        RecorderReadResult r = Read(index, no_stop, events);
        EXPECT_TRUE(r.messages.empty()) << r.messages[0];
        EXPECT_EQ(r.sectors, model.recorder->recording(index).sectors);
        EXPECT_EQ(percents.back(), 100);
        uint16_t entry[5], w[kSectorWords];
        model.recorder->EntryWords(index, entry);
        SectorConverter conv(index, DecodeFileEntry(entry));
        FILE* out = std::fopen(expected.c_str(), "wb");
        for (int s = 0; s < model.recorder->recording(index).sectors; ++s) {
            model.recorder->SectorWords(index, s, w);
            EXPECT_EQ(conv.Convert(s, w, out, nullptr), "");
        }
        EXPECT_EQ(conv.Flush(out), "");
        std::fclose(out);
        EXPECT_EQ(test::ReadFileBytes(r.path), test::ReadFileBytes(expected)) << index;
    }
}

TEST_F(ReadRecordingTest, FailuresAndStopsKeepTheRowsOfTheSectorsBefore) {
    const int rows = kSectorDataWords / model.recorder->recording(1).nchan;
    auto data_rows = [](const std::string& path) {  // every line but the header's
        std::string f = test::ReadFileBytes(path);
        return size_t(std::count(f.begin(), f.end(), '\n') - std::count(f.begin(), f.end(), '#'));
    };
    // A bad format word or a sequence gap: the converter's message about that sector,
    // the rows of the sectors before it; in sector 0, an empty file.
    struct Case {
        std::atomic<int>* fault;
        int sector;
    } cases[] = {{&model.recorder->faults->bad_format_sector, 0},
                 {&model.recorder->faults->bad_format_sector, 3},
                 {&model.recorder->faults->sequence_gap_sector, 4}};
    RecorderReadResult r;
    for (const auto& c : cases) {
        *c.fault = c.sector;
        r = Read(1, no_stop);
        *c.fault = -1;
        EXPECT_EQ(r.sectors, c.sector);
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_NE(r.messages[0].find("(сектор=" + std::to_string(c.sector)), std::string::npos)
            << r.messages[0];
        EXPECT_EQ(data_rows(r.path), size_t(c.sector * rows));
        EXPECT_TRUE(c.sector > 0 || test::ReadFileBytes(r.path).empty()) << "no header";
    }

    // Stop asked during sector 5 of 10: sector 5 finishes, no message.
    model.recorder->Clear();
    model.recorder->Add({.start = {}, .sectors = 10});
    StopToken stop;
    RecorderReadEvents events;
    events.progress = [&](int p) {
        if (p == 60) stop.RequestStop();  // the progress of sector 5
    };
    r = Read(0, stop, events);
    EXPECT_EQ(std::tuple(r.messages.size(), r.stopped, r.sectors), std::tuple(0u, true, 6));
    EXPECT_EQ(data_rows(r.path), size_t(6 * rows));
    // The mode's close, a token on the port, wakes a read that waits for an answer the
    // regulator does not give: at once, without a message, the sectors before kept.
    using Clock = std::chrono::steady_clock;
    StopToken close;
    RS232_SetStopToken(link.port, &close);
    Clock::time_point asked;
    std::thread closer;
    events.progress = [&](int p) {
        if (p != 30) return;  // sector 2 read; the next request goes unanswered
        model.modbus_faults->silent = 1;
        closer = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // into the wait
            asked = Clock::now();
            close.RequestStop();
        });
    };
    stop.Reset();
    r = Read(0, stop, events);
    const auto woke = Clock::now();
    closer.join();
    RS232_SetStopToken(link.port, nullptr);
    EXPECT_LT(woke - asked, std::chrono::milliseconds(100)) << "of a 1000 ms wait";
    EXPECT_TRUE(r.stopped && r.messages.empty());
    EXPECT_EQ(data_rows(r.path), size_t(3 * rows));
    // A stop before the first sector: an empty file.
    stop.RequestStop();
    r = Read(0, stop);
    EXPECT_EQ(r.sectors, 0);
    EXPECT_EQ(test::ReadFileBytes(r.path), "");
}

}  // namespace
}  // namespace korvex
