// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "sim/FrontPanel.h"
#include "sim/SimMode.h"

namespace korvex::sim {

// How the simulated regulator's stream presents itself. Read when the stream mode is
// entered; change it between openings.
struct StreamOptions {
    int panel = 1;      // 0 none, 1 SELVO, 2 SELVO-M, 3 both flags
    int version = 1;    // identify reply's version byte (0: 50 Hz only; 2: unknown)
    int channels = 12;  // 0 .. 16
    int nbyte = 40;     // description length in the identify reply (0 and 113 are faults)
};

// Faults for the next packets; counters as for ModBus faults (-1: from now on).
struct StreamFaults {
    std::atomic<int> skip_number{0};    // one packet number left out
    std::atomic<int> repeat_number{0};  // the previous number sent again
    std::atomic<int> out_of_range{0};   // a value beyond +-100 after scaling
    std::atomic<int> nan{0};            // a NaN in a floating-point channel
    std::atomic<int> silent{0};         // packets not sent
};

struct StreamStats {
    std::atomic<long> packets{0};  // packets sent since the stream started
    // The number of packets sent before the first one a fault spoiled or left out, -1
    // while none was; set back to -1 by whoever reads it.
    std::atomic<long> first_fault{-1};
    std::atomic<int> streaming{0};
    // With keep_sent set, the value part of every packet sent (its 4-byte channel slots),
    // in order, for checking a recording row by row against what went out.
    std::atomic<bool> keep_sent{false};
    std::mutex sent_mu;
    std::vector<std::vector<uint8_t>> sent;
};

// The regulator's port streaming its measurements: entered with switch target 0xF6 at
// 115200 / (s + 1) baud, odd parity. Answers identify (0x80) and describe (0x90+i),
// streams packets at 500 / divider Hz after 0xA0+divider, keeps streaming while
// keep-alives (0xB0) come at least every 3 s, takes panel keys, and goes back to the
// normal mode on 0xC0.
class StreamMode : public SimMode {
public:
    StreamMode(int32_t key, std::shared_ptr<const StreamOptions> options,
               std::shared_ptr<StreamFaults> faults, std::shared_ptr<StreamStats> stats);

    const char* name() const override { return "stream"; }
    LineSpeed speed() const override { return {baud_, 11}; }
    size_t OnBytes(const uint8_t* data, size_t n, SimLink& link) override;
    void OnIdle(SimLink& link) override;
    int IdleIntervalMs() const override { return 5; }
    Clock::time_point Deadline() const override {
        return streaming_ ? next_packet_ : Clock::time_point::max();
    }

private:
    struct Channel {
        const char* name;
        uint32_t type;
        uint32_t colour;
        float scale;
    };
    void NoteFault();
    void SendPacket(SimLink& link);
    void EncodeValue(const Channel& ch, double value, uint8_t* slot) const;
    std::vector<double> Measure(double t);
    std::string PanelText(const PanelValues& v);

    uint32_t baud_;
    StreamOptions opt_;
    std::shared_ptr<StreamFaults> faults_;
    std::shared_ptr<StreamStats> stats_;
    std::vector<Channel> channels_;
    std::vector<std::unique_ptr<FrontPanel>> panels_;
    std::mt19937 rng_{12345};

    bool streaming_ = false;
    int divider_ = 10;
    uint8_t number_ = 0;
    Clock::time_point start_{}, next_packet_{}, last_keep_alive_{};
    int display_slot_ = 0;
    Clock::time_point next_display_{};
    PanelValues panel_values_;
};

}  // namespace korvex::sim
