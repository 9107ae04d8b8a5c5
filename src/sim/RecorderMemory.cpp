// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/RecorderMemory.h"

#include <cmath>
#include <ctime>

#include "link/ModBus.h"

namespace korvex::sim {

namespace {

constexpr int kSizeSectors = 8192;  // 4 MB of recorder memory
constexpr int kSlaveBusy = 6;
// One past the file table's last register.
constexpr uint32_t kTableEnd =
    kRecorderTableReg + uint32_t(kRecorderEntryWords) * kRecorderMaxFiles;

uint16_t TimeA(const RecorderTime& t) {
    return uint16_t(t.second << 10 | (t.millisecond & 0x3FF));
}
uint16_t TimeB(const RecorderTime& t) {
    return uint16_t(t.day << 11 | t.hour << 6 | t.minute);
}
uint16_t TimeC(const RecorderTime& t) {
    return uint16_t(((t.year - 2000) & 0x7F) << 4 | t.month);
}

uint16_t Flags(const SimRecording& r) {
    return uint16_t((r.status & 3) | (r.div & 0x0F) << 2 | (((r.nchan - 8) / 2) & 3) << 6 |
                    (r.reason & 0x0F) << 8 | (r.marker ? 1 << 12 : 0));
}

RecorderTime AddMs(const RecorderTime& t, int64_t ms) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    int64_t total = int64_t(timegm(&tm)) * 1000 + t.millisecond + ms;
    std::time_t secs = std::time_t(total / 1000);
    std::tm out{};
    gmtime_r(&secs, &out);
    return RecorderTime{out.tm_year + 1900, out.tm_mon + 1, out.tm_mday,      out.tm_hour,
                        out.tm_min,         out.tm_sec,     int(total % 1000)};
}

RecorderTime Now() {
    auto now = std::chrono::system_clock::now();
    std::time_t secs = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&secs, &tm);
    int ms =
        int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000);
    return RecorderTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                        tm.tm_min,         tm.tm_sec,     ms};
}

// A small, repeatable disturbance for sample k of a recording: measurements are never
// perfectly smooth.
double Noise(uint32_t seed, int64_t k, double amplitude) {
    uint32_t x = seed * 2654435761u ^ uint32_t(k) * 2246822519u;
    x ^= x >> 15;
    x *= 2654435761u;
    x ^= x >> 13;
    return amplitude * (double(x % 20001) / 10000.0 - 1.0);
}

// The generator and its regulator, per unit: what the recorder samples.
struct Sample {
    int state = 1;  // 1 regulation, 3 field forcing, 5 tripped
    bool prot = false, rf = false;
    double u = 1.0, i = 0.8, ifield = 1.5, uf = 1.2, uexc = 1.0, p = 0.8, q = 0.1;
};

Sample Model(RecordingScenario scenario, double t, double fault_at) {
    Sample s;
    double dt = t - fault_at;
    switch (scenario) {
        case RecordingScenario::kSteady:
            s.u = 1.0 + 0.004 * std::sin(2 * M_PI * 0.3 * t);
            s.q = 0.1 + 0.02 * std::sin(2 * M_PI * 0.3 * t + 1.0);
            break;
        case RecordingScenario::kNetworkDip: {
            if (dt < 0) break;
            // 200 ms at 55 %, then back with 300 ms; the regulator forces the field to its
            // ceiling for 700 ms and the field current follows with its time constant.
            if (dt < 0.2)
                s.u = 0.55;
            else
                s.u = 1.0 - 0.45 * std::exp(-(dt - 0.2) / 0.3);
            bool forcing = dt < 0.7;
            s.state = forcing ? 3 : 1;
            s.uf = forcing ? 3.0 : 1.2 + 1.0 * std::exp(-(dt - 0.7) / 0.2);
            double rise = 1.5 + 1.0 * (1 - std::exp(-std::min(dt, 0.7) / 0.4));
            s.ifield = dt < 0.7 ? rise : 1.5 + (rise - 1.5) * std::exp(-(dt - 0.7) / 0.6);
            s.i = 0.8 + 0.5 * std::exp(-dt / 0.4);
            s.q = 0.1 + 0.6 * std::exp(-dt / 0.5);
            s.p = 0.8 - 0.3 * std::exp(-dt / 0.15);
            s.uexc = 0.6 + 0.4 * s.u;
            break;
        }
        case RecordingScenario::kProtectionTrip: {
            if (dt < 0) break;
            if (dt < 0.08) {
                // The short circuit: the current jumps, the voltage collapses.
                s.i = 2.6;
                s.u = 0.35;
                s.q = 1.2;
                s.p = 0.3;
                s.state = 3;
                s.uf = 3.0;
                s.ifield = 1.5 + 1.2 * dt / 0.08;
                break;
            }
            // Tripped: breaker open, the field taken down by a negative field voltage.
            double after = dt - 0.08;
            s.state = 5;
            s.prot = true;
            s.rf = true;
            s.i = 0.0;
            s.p = 0.0;
            s.q = 0.0;
            s.uf = after < 0.3 ? -2.0 : 0.0;
            s.ifield = 2.7 * std::exp(-after / 0.25);
            s.u = 1.05 * std::exp(-after / 0.8);
            s.uexc = 0.2 + 0.8 * std::exp(-after / 0.4);
            break;
        }
    }
    return s;
}

int16_t Raw(double per_unit) {
    double v = std::round(per_unit / 0.0001);
    if (v > 32767) v = 32767;
    if (v < -32768) v = -32768;
    return int16_t(v);
}

}  // namespace

RecorderMemory::RecorderMemory() : sector_(kSectorWords, 0) {
    SimRecording trip;
    trip.status = 2;
    trip.div = 1;
    trip.nchan = 12;
    trip.reason = 9;
    trip.marker = true;
    trip.start = {2026, 11, 18, 14, 22, 7, 315};
    trip.sectors = 60;  // 2.4 s at 500 Hz
    trip.first_n = 65500;
    trip.scenario = RecordingScenario::kProtectionTrip;
    trip.fault_at = 0.8;
    recordings_.push_back(trip);

    SimRecording dip;
    dip.status = 2;
    dip.div = 2;
    dip.nchan = 10;
    dip.reason = 3;
    dip.start = {2026, 11, 25, 3, 41, 55, 20};
    dip.sectors = 80;  // 7.68 s at 250 Hz
    dip.first_n = 1200;
    dip.scenario = RecordingScenario::kNetworkDip;
    dip.fault_at = 2.0;
    recordings_.push_back(dip);

    SimRecording forcing;
    forcing.status = 3;
    forcing.div = 10;
    forcing.nchan = 8;
    forcing.reason = 10;
    forcing.start = {2026, 12, 1, 9, 5, 12, 500};
    forcing.sectors = 40;  // 24 s at 50 Hz
    forcing.first_n = 4000;
    forcing.scenario = RecordingScenario::kNetworkDip;
    forcing.fault_at = 6.0;
    recordings_.push_back(forcing);

    SimRecording cycle;
    cycle.status = 2;
    cycle.div = 2;
    cycle.nchan = 12;
    cycle.reason = 1;
    cycle.start = {2026, 12, 5, 12, 0, 0, 0};
    cycle.sectors = 30;
    cycle.first_n = 7000;
    cycle.scenario = RecordingScenario::kSteady;
    recordings_.push_back(cycle);
    current_file_ = uint16_t(recordings_.size() - 1);
}

void RecorderMemory::Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    recordings_.clear();
    growing_ = -1;
    state_ = 0;
    current_file_ = 0;
}

void RecorderMemory::Add(const SimRecording& r) {
    std::lock_guard<std::mutex> lock(mu_);
    recordings_.push_back(r);
    current_file_ = uint16_t(recordings_.size() - 1);
}

int RecorderMemory::count() {
    std::lock_guard<std::mutex> lock(mu_);
    return int(recordings_.size());
}

SimRecording RecorderMemory::recording(int i) {
    std::lock_guard<std::mutex> lock(mu_);
    Update(Clock::now());
    return recordings_.at(size_t(i));
}

uint16_t RecorderMemory::state() {
    std::lock_guard<std::mutex> lock(mu_);
    Update(Clock::now());
    return state_;
}

uint16_t RecorderMemory::current_file() {
    std::lock_guard<std::mutex> lock(mu_);
    return current_file_;
}

void RecorderMemory::StartAutomatic(int reason, double seconds) {
    std::lock_guard<std::mutex> lock(mu_);
    StartGrowing(reason, true, seconds, Clock::now());
}

void RecorderMemory::StartGrowing(int reason, bool automatic, double seconds,
                                  Clock::time_point now) {
    if (growing_ >= 0) return;
    SimRecording r;
    r.status = 1;
    r.div = 10;
    r.nchan = 10;
    r.reason = reason;
    r.start = Now();
    r.sectors = 0;
    r.first_n = uint16_t(recordings_.empty() ? 0 : recordings_.back().first_n + 1000);
    r.scenario = automatic ? RecordingScenario::kNetworkDip : RecordingScenario::kSteady;
    r.fault_at = 1.0;
    recordings_.push_back(r);
    growing_ = int(recordings_.size() - 1);
    growing_since_ = now;
    growing_seconds_ = automatic ? seconds : 0;
    current_file_ = uint16_t(growing_);
    state_ = automatic ? 3 : 1;
}

void RecorderMemory::Update(Clock::time_point now) {
    if (growing_ < 0) return;
    SimRecording& r = recordings_[size_t(growing_)];
    double elapsed = std::chrono::duration<double>(now - growing_since_).count();
    bool ended = growing_seconds_ > 0 && elapsed >= growing_seconds_;
    if (ended) elapsed = growing_seconds_;
    // A sector holds 240 / NCHAN samples at DIV * 2 ms each.
    double sector_seconds = (kSectorDataWords / r.nchan) * r.div * 0.002;
    r.sectors = int(elapsed / sector_seconds);
    if (ended) {
        r.status = 2;
        growing_ = -1;
        state_ = 0;
    }
}

void RecorderMemory::MakeSector(const SimRecording& r, int index, int s, uint16_t* w) const {
    const RecorderFaults& f = *faults;
    const int samples = kSectorDataWords / r.nchan;
    for (int i = 0; i < kSectorWords; ++i) w[i] = 0;
    w[0] = uint16_t(r.first_n + s + (f.sequence_gap_sector >= 0 && s >= f.sequence_gap_sector));
    w[1] = Flags(r);
    if (s == f.flags_change_sector) w[1] ^= 1 << 8;  // another reason: another recording
    w[2] = TimeA(r.start);
    w[3] = TimeB(r.start);
    w[4] = TimeC(r.start);
    if (s == f.timebeg_change_sector) w[2] ^= 1;
    RecorderTime stamp = AddMs(r.start, int64_t(s) * samples * r.div * 2);
    w[5] = TimeA(stamp);
    w[6] = TimeB(stamp);
    w[7] = TimeC(stamp);
    w[8] = s == f.bad_format_sector ? 0xFFFF : kSectorFormat;
    const uint32_t seed = uint32_t(index * 7919 + r.first_n);
    for (int k = 0; k < samples; ++k) {
        const int64_t n = int64_t(s) * samples + k;
        const double t = double(n) * r.div * 0.002;
        Sample m = Model(r.scenario, t, r.fault_at);
        uint16_t* x = w + kSectorHeadWords + k * r.nchan;
        x[0] = uint16_t((m.state & 0x0F) | (m.prot ? 1 << 6 : 0) | (m.rf ? 1 << 7 : 0) |
                        (r.status == 1 ? 1 << 8 : 0));
        auto put = [&](int c, double v, double noise) {
            if (c < r.nchan) x[c] = uint16_t(Raw(v + Noise(seed + uint32_t(c), n, noise)));
        };
        // ch1 Us (Uab), ch2 Is (Ia), ch3 If, ch4 Uf, ch5 Uexc, ch6 P, ch7 Q, ch8 Ubc,
        // ch9 Uca, ch10 Ib, ch11 Ic; the phases slightly unequal, as on a real machine.
        put(1, m.u * 1.002, 0.002);
        put(2, m.i * 0.998, 0.003);
        put(3, m.ifield, 0.003);
        put(4, m.uf, 0.01);
        put(5, m.uexc, 0.002);
        put(6, m.p, 0.003);
        put(7, m.q, 0.003);
        put(8, m.u * 0.997, 0.002);
        put(9, m.u * 1.001, 0.002);
        put(10, m.i * 1.003, 0.003);
        put(11, m.i * 0.999, 0.003);
        for (int c = 12; c < r.nchan; ++c) put(c, 0.0, 0.001);
    }
}

void RecorderMemory::SectorWords(int recording, int sector, uint16_t* out) {
    std::lock_guard<std::mutex> lock(mu_);
    MakeSector(recordings_.at(size_t(recording)), recording, sector, out);
}

uint16_t RecorderMemory::selected_sector() {
    std::lock_guard<std::mutex> lock(mu_);
    return selected_sector_;
}

void RecorderMemory::EntryWords(int i, uint16_t* out) {
    std::lock_guard<std::mutex> lock(mu_);
    Update(Clock::now());
    for (int k = 0; k < kRecorderEntryWords; ++k) out[k] = 0;
    if (i < 0 || i >= int(recordings_.size())) return;
    const SimRecording& r = recordings_[size_t(i)];
    out[0] = uint16_t(r.sectors);
    out[1] = Flags(r);
    out[2] = TimeA(r.start);
    out[3] = TimeB(r.start);
    out[4] = TimeC(r.start);
}

// One register of the header, the switch or the table (the lock is held).
uint16_t RecorderMemory::Register(uint16_t reg) {
    // The header words: version, file count, state, current file.
    switch (reg) {
        case kRecorderHeaderReg: return uint16_t(faults->version.load());
        case kRecorderHeaderReg + 1:
            return uint16_t(faults->file_count >= 0 ? faults->file_count.load()
                                                    : int(recordings_.size()));
        case kRecorderHeaderReg + 2: return state_;
        case kRecorderHeaderReg + 3: return current_file_;
        case kRecorderSizeReg: return kSizeSectors;
        case kRecorderSwitchReg: return switch_;
        default: break;
    }
    int offset = reg - kRecorderTableReg;
    int i = offset / kRecorderEntryWords, word = offset % kRecorderEntryWords;
    if (i >= int(recordings_.size())) return 0;
    const SimRecording& r = recordings_[size_t(i)];
    switch (word) {
        case 0: return uint16_t(r.sectors);
        case 1: return Flags(r);
        case 2: return TimeA(r.start);
        case 3: return TimeB(r.start);
        default: return TimeC(r.start);
    }
}

int RecorderMemory::Read(uint16_t reg, uint16_t num, uint16_t* out, bool input) {
    const uint32_t last = uint32_t(reg) + num - 1;
    const bool header = reg >= kRecorderHeaderReg && last <= kRecorderSwitchReg;
    const bool window = reg >= kRecorderWindowReg && last < kRecorderWindowReg + kSectorWords;
    const bool table = reg >= kRecorderTableReg && last < kTableEnd;
    if (!header && !window && !table) {
        bool overlaps = last >= kRecorderHeaderReg && reg < kTableEnd;
        return overlaps ? kModBusIllegalDataAddress : kNotMine;
    }
    (void)input;  // the recorder answers functions 3 and 4 alike
    std::lock_guard<std::mutex> lock(mu_);
    auto now = Clock::now();
    Update(now);
    if (window) {
        const int offset = reg - kRecorderWindowReg;
        if (offset == 0 && now - selected_at_ < std::chrono::milliseconds(faults->busy_ms))
            return kSlaveBusy;
        if (offset == kSectorChunkWords && faults->busy_second_chunk > 0) {
            --faults->busy_second_chunk;
            return kSlaveBusy;
        }
        for (uint16_t k = 0; k < num; ++k) out[k] = sector_[size_t(offset + k)];
        return 0;
    }
    for (uint16_t k = 0; k < num; ++k) out[k] = Register(uint16_t(reg + k));
    return 0;
}

int RecorderMemory::Write(uint16_t reg, uint16_t value) {
    if (reg != kRecorderSwitchReg && reg != kRecorderSelectReg && reg != kRecorderSectorReg) {
        bool ours = reg >= kRecorderHeaderReg && reg < kTableEnd;
        return ours ? kModBusIllegalDataAddress : kNotMine;
    }
    std::lock_guard<std::mutex> lock(mu_);
    auto now = Clock::now();
    Update(now);
    if (reg == kRecorderSwitchReg) {
        switch_ = value;
        if (value && growing_ < 0) {
            StartGrowing(0, false, 0, now);
        } else if (!value && growing_ >= 0 && growing_seconds_ == 0) {
            recordings_[size_t(growing_)].status = 2;
            growing_ = -1;
            state_ = 0;
        }
    } else if (reg == kRecorderSelectReg) {
        selected_recording_ = value;
    } else {
        selected_sector_ = value;
        selected_at_ = now;
        if (selected_recording_ < recordings_.size())
            MakeSector(recordings_[selected_recording_], selected_recording_, selected_sector_,
                       sector_.data());
        else
            std::fill(sector_.begin(), sector_.end(), 0);
    }
    return 0;
}

}  // namespace korvex::sim
