// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "recorder/RecorderEntry.h"
#include "sim/RegisterDevice.h"

namespace korvex::sim {

// What a simulated recording shows.
enum class RecordingScenario {
    kNetworkDip,      // the network voltage dips, the regulator forces the field
    kProtectionTrip,  // a short circuit, the protection trips, the field is taken down
    kSteady,          // normal running with its small fluctuations
};

// One recording in the simulated recorder's memory.
struct SimRecording {
    int status = 2;  // 1 being recorded, 2 stored, 3 stored after a break
    int div = 2;     // of the 500 Hz base rate
    int nchan = 10;  // values per sample: 8, 10, 12 (14 has no layout in the program)
    int reason = 3;
    bool marker = false;
    RecorderTime start;  // also written as TimeBeg into every sector
    int sectors = 40;
    uint16_t first_n = 0;  // N of sector 0; the sectors count up from it, modulo 65536
    RecordingScenario scenario = RecordingScenario::kSteady;
    double fault_at = 1.0;  // seconds into the recording
};

// Faults and settings for tests and demos; change them from any thread.
struct RecorderFaults {
    std::atomic<int> version{1};                 // header word 0: 0 none, 2 unknown
    std::atomic<int> file_count{-1};             // a file count to report instead (600)
    std::atomic<int> bad_format_sector{-1};      // the sector whose format word is 0xFFFF
    std::atomic<int> sequence_gap_sector{-1};    // from this sector on, N skips one
    std::atomic<int> flags_change_sector{-1};    // this sector's FLAGS differ
    std::atomic<int> timebeg_change_sector{-1};  // this sector's TimeBeg differs
    // The first chunk of a sector answers "busy" (exception 6) for this long after the
    // sector was selected; the regulator fetches the sector from its memory meanwhile.
    std::atomic<int> busy_ms{30};
    std::atomic<int> busy_second_chunk{0};  // so many later sectors answer busy to chunk 2
};

// The regulator's fault recorder over ModBus: header (0x8000-0x8003), size (0x8004),
// manual switch (0x8006), recording and sector selection (0x8100, 0x8101), the selected
// sector (0x8200-0x82FF) and the file table (0x8300 + 5 i).
//
// The memory starts with recordings of its own model: a protection trip (12 channels,
// 500 Hz), a network dip with field forcing (10 channels, 250 Hz), a forcing stopped by
// a break (8 channels, 50 Hz) and a cyclic recording (12 channels, 250 Hz). The manual
// switch starts a recording of status 1 that grows while it is on and becomes status 2
// when switched off; current_file follows it. StartAutomatic does the same by itself,
// with state bit 1 set while it records.
// Thread-safe: the simulator's thread serves it while tests change it.
class RecorderMemory : public RegisterDevice {
public:
    using Clock = std::chrono::steady_clock;

    RecorderMemory();

    std::shared_ptr<RecorderFaults> faults = std::make_shared<RecorderFaults>();

    void Clear();
    void Add(const SimRecording& r);
    int count();
    SimRecording recording(int i);
    uint16_t state();
    uint16_t current_file();
    // An automatic recording of `seconds` (state 3 while it records).
    void StartAutomatic(int reason, double seconds);
    // A sector as the recorder serves it, faults included.
    void SectorWords(int recording, int sector, uint16_t* out);
    // The table entry's five words.
    void EntryWords(int recording, uint16_t* out);
    // The sector last selected (0x8101).
    uint16_t selected_sector();

    int Read(uint16_t reg, uint16_t num, uint16_t* out, bool input) override;
    int Write(uint16_t reg, uint16_t value) override;

private:
    // Brings growing recordings up to date: sectors so far, an automatic one ended.
    void Update(Clock::time_point now);
    void StartGrowing(int reason, bool automatic, double seconds, Clock::time_point now);
    void MakeSector(const SimRecording& r, int index, int sector, uint16_t* out) const;
    uint16_t Register(uint16_t reg);

    std::mutex mu_;
    std::vector<SimRecording> recordings_;
    uint16_t state_ = 0;
    uint16_t current_file_ = 0;
    uint16_t switch_ = 0;
    // The recording being recorded (status 1), -1 when none.
    int growing_ = -1;
    Clock::time_point growing_since_{};
    double growing_seconds_ = 0;  // an automatic recording's length; 0: until switched off
    uint16_t selected_recording_ = 0;
    uint16_t selected_sector_ = 0;
    Clock::time_point selected_at_{};
    std::vector<uint16_t> sector_;
};

}  // namespace korvex::sim
