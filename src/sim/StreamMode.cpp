// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/StreamMode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/StrPrintf.h"
#include "osc/OscStream.h"
#include "sim/FaultCounter.h"

namespace korvex::sim {

namespace {

void PutLE(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Every panel item (text segment or status) goes out this often, so a full screen
// refresh takes about a quarter of a second and the cursor blinks at about 1 Hz.
constexpr auto kDisplayInterval = std::chrono::milliseconds(25);

}  // namespace

StreamMode::StreamMode(int32_t key, std::shared_ptr<const StreamOptions> options,
                       std::shared_ptr<StreamFaults> faults, std::shared_ptr<StreamStats> stats)
    : baud_(115200 / (uint32_t(key & 0xFF) + 1)),
      opt_(*options),
      faults_(std::move(faults)),
      stats_(std::move(stats)) {
    // The order puts every encoding among the first six channels.
    static const Channel kCatalogue[16] = {
        {"Ua", 2, 0x00FFFF, 0.001f},  {"Ub", 2, 0x00FF00, 0.001f},  {"Uc", 2, 0x0000FF, 0.001f},
        {"If", 4, 0xFFFFFF, 0.0001f}, {"Uf", 20, 0xFF00FF, 1.0f},   {"State", 1, 0x808080, 1.0f},
        {"Ia", 2, 0x0080FF, 0.001f},  {"Ib", 2, 0x008000, 0.001f},  {"Ic", 2, 0x000080, 0.001f},
        {"P", 2, 0xFFFF00, 0.001f},   {"Q", 2, 0xFF8000, 0.001f},   {"F", 20, 0x80FF00, 1.0f},
        {"Ug", 20, 0x40C0FF, 1.0f},   {"Uref", 20, 0xC0C0C0, 1.0f}, {"Iq", 2, 0x8080FF, 0.001f},
        {"Ufmax", 1, 0x404040, 0.1f}};
    int n = opt_.channels < 0 ? 0 : std::min(opt_.channels, kOscMaxDescribed);
    channels_.assign(kCatalogue, kCatalogue + n);
    if (opt_.panel & 1) panels_.push_back(std::make_unique<FrontPanel>(FrontPanel::Model::kSelvo));
    if (opt_.panel & 2) panels_.push_back(std::make_unique<FrontPanel>(FrontPanel::Model::kSelvoM));
    stats_->streaming = 0;
}

size_t StreamMode::OnBytes(const uint8_t* data, size_t n, SimLink& link) {
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = data[i];
        if (b == kOscIdentify) {
            uint8_t id[4] = {uint8_t(opt_.panel & 3), uint8_t(opt_.version), uint8_t(opt_.channels),
                             uint8_t(opt_.nbyte)};
            link.Send(id, 4);
        } else if (b >= kOscDescribe && b < kOscDescribe + kOscMaxDescribed) {
            size_t idx = size_t(b - kOscDescribe);
            std::vector<uint8_t> d(size_t(opt_.nbyte > 0 && opt_.nbyte < 128 ? opt_.nbyte : 0), 0);
            if (idx < channels_.size() && d.size() >= 12) {
                const Channel& ch = channels_[idx];
                PutLE(d.data(), ch.type);
                PutLE(d.data() + 4, ch.colour);
                uint32_t bits;
                std::memcpy(&bits, &ch.scale, 4);
                PutLE(d.data() + 8, bits);
                if (d.size() > 13)
                    std::strncpy(reinterpret_cast<char*>(d.data()) + 12, ch.name, d.size() - 13);
            }
            link.Send(d.data(), d.size());
        } else if (b >= kOscStart + kFastestDivider && b <= kOscStart + kSlowestDivider) {
            // Any divider from the fastest to the slowest, those between them included.
            divider_ = b - kOscStart;
            streaming_ = true;
            stats_->streaming = 1;
            number_ = 0;
            start_ = next_packet_ = next_display_ = last_keep_alive_ = link.Now();
            link.Log(StrPrintf("stream: start at %.1f Hz", SampleRateOf(divider_)));
        } else if (b == kOscKeepAlive) {
            last_keep_alive_ = link.Now();
        } else if (b == kOscStop) {
            link.Log("stream: stop");
            stats_->streaming = 0;
            link.ReturnToNormal();
            return i + 1;
        } else if (b <= kOscLastKey) {
            for (auto& p : panels_) p->Key(b);
        }
    }
    return n;
}

void StreamMode::OnIdle(SimLink& link) {
    if (!streaming_) return;
    auto now = link.Now();
    if (now - last_keep_alive_ > std::chrono::seconds(3)) {
        link.Log("stream: no keep-alive for 3 s, streaming stopped");
        streaming_ = false;
        stats_->streaming = 0;
        link.ReturnToNormal();
        return;
    }
    if (now < next_packet_) return;
    auto period = std::chrono::nanoseconds(2000000ll * divider_);
    next_packet_ += period;
    // A line too slow for the rate sends as fast as it can, without bursts.
    if (next_packet_ + period < now) next_packet_ = now;
    if (TakeFault(faults_->silent)) {
        NoteFault();
        return;
    }
    SendPacket(link);
}

std::vector<double> StreamMode::Measure(double t) {
    std::normal_distribution<double> noise(0.0, 0.002);
    // Every 15 s a short system fault: the voltage dips and the regulator forces the field.
    double phase = std::fmod(t, 15.0);
    bool forcing = phase > 6.0 && phase < 6.6;
    double dip = forcing ? 0.85 + 0.15 * (phase - 6.0) / 0.6 : 1.0;
    double setpoint = panels_.empty() ? 1.0 : panels_[0]->setpoint();
    double u = setpoint * dip;
    double swing = 0.005 * std::sin(2 * M_PI * 0.8 * t);
    double i_load = 0.8 + 0.05 * std::sin(2 * M_PI * 0.05 * t);
    double i_field = forcing ? 3.0 : 1.5 + 0.3 * (u - 1.0) + 0.4 * (i_load - 0.8);
    double u_field = forcing ? 4.0 : 1.2 + 0.2 * std::sin(2 * M_PI * 0.8 * t);
    double p = 0.8 * i_load / 0.8 * u, q = 0.1 + 2.0 * (u - 1.0);
    panel_values_ = {u, i_field, p, q};
    const double kPhases[3] = {0, 2 * M_PI / 3, 4 * M_PI / 3};
    std::vector<double> v;
    for (const Channel& ch : channels_) {
        std::string n = ch.name;
        double x = 0;
        if (n == "Ua" || n == "Ub" || n == "Uc")
            x = u + swing * std::cos(kPhases[n[1] - 'a']) + noise(rng_);
        else if (n == "Ia" || n == "Ib" || n == "Ic")
            x = i_load + noise(rng_);
        else if (n == "If")
            x = i_field + noise(rng_);
        else if (n == "Uf")
            x = u_field + noise(rng_);
        else if (n == "State")
            x = forcing ? 3 : 1;
        else if (n == "P")
            x = p + noise(rng_);
        else if (n == "Q")
            x = q + noise(rng_);
        else if (n == "F")
            x = 1.0 + 0.0004 * std::sin(2 * M_PI * 0.1 * t);  // per unit of 50 Hz
        else if (n == "Ug")
            x = u;
        else if (n == "Uref")
            x = setpoint;
        else if (n == "Iq")
            x = q * 0.9;
        else if (n == "Ufmax")
            x = 5.0;
        v.push_back(x);
    }
    return v;
}

void StreamMode::EncodeValue(const Channel& ch, double value, uint8_t* slot) const {
    std::memset(slot, 0, 4);
    double raw = value / ch.scale;
    switch (ch.type) {
        case 1: slot[3] = uint8_t(int8_t(std::lround(std::fmax(-128, std::fmin(127, raw))))); break;
        case 2: {
            int16_t r = int16_t(std::lround(std::fmax(-32768, std::fmin(32767, raw))));
            slot[2] = uint8_t(uint16_t(r) >> 8);
            slot[3] = uint8_t(r);
            break;
        }
        case 4: {
            int32_t r =
                int32_t(std::llround(std::fmax(-2147483648.0, std::fmin(2147483647.0, raw))));
            for (int i = 0; i < 4; ++i) slot[i] = uint8_t(uint32_t(r) >> (24 - 8 * i));
            break;
        }
        default: {
            float f = float(raw);
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            for (int i = 0; i < 4; ++i) slot[i] = uint8_t(bits >> (24 - 8 * i));
            break;
        }
    }
}

std::string StreamMode::PanelText(const PanelValues& v) {
    std::string text;
    for (auto& p : panels_) text += p->Text(v);
    return text;
}

void StreamMode::NoteFault() {
    long none = -1;
    stats_->first_fault.compare_exchange_strong(none, stats_->packets.load());
}

void StreamMode::SendPacket(SimLink& link) {
    auto now = link.Now();
    double t = std::chrono::duration<double>(now - start_).count();
    std::vector<double> values = Measure(t);
    const bool display = !panels_.empty();
    const size_t header = display ? 10 : 2;
    std::vector<uint8_t> pkt(header + 4 * channels_.size(), 0);

    bool spoiled = false;
    if (TakeFault(faults_->skip_number)) ++number_, spoiled = true;
    if (TakeFault(faults_->repeat_number)) --number_, spoiled = true;
    pkt[1] = number_++;

    if (display && now >= next_display_) {
        next_display_ = now + kDisplayInterval;
        int a = (opt_.panel & 1) ? 1 : 0, b = (opt_.panel & 2) ? 1 : 0;
        int segments = 10 * a + 4 * b;
        int index = display_slot_ + 1;
        display_slot_ = (display_slot_ + 1) % (segments + 1);
        if (index <= segments) {
            std::string text = PanelText(panel_values_);
            pkt[0] = uint8_t(index);
            std::memcpy(&pkt[2], text.data() + (index - 1) * 8, 8);
        } else {
            const FrontPanel& p = *panels_[0];
            pkt[0] = uint8_t(11 * a + 5 * b);
            pkt[2] = p.cursor_row();
            pkt[3] = p.cursor_col();
            pkt[4] = p.cursor_on() ? 1 : 0;
        }
    }

    bool spoil_range = TakeFault(faults_->out_of_range), spoil_nan = TakeFault(faults_->nan);
    for (size_t i = 0; i < channels_.size(); ++i) {
        const Channel& ch = channels_[i];
        uint8_t* slot = &pkt[header + 4 * i];
        EncodeValue(ch, values[i], slot);
        if (spoil_range && (ch.type == 4 || ch.type == 20 || ch.type == 1)) {
            // -128 in a byte channel, 150 elsewhere: beyond +-100 after scaling.
            if (ch.type == 1)
                EncodeValue(ch, -128.0 * ch.scale, slot);
            else
                EncodeValue(ch, 150.0, slot);
            spoil_range = false;
            spoiled = true;
        }
        if (spoil_nan && ch.type == 20) {
            EncodeValue(ch, std::numeric_limits<double>::quiet_NaN(), slot);
            spoil_nan = false;
            spoiled = true;
        }
    }
    if (spoiled) NoteFault();
    if (stats_->keep_sent) {
        std::lock_guard<std::mutex> lock(stats_->sent_mu);
        stats_->sent.emplace_back(pkt.begin() + long(header), pkt.end());
    }
    link.Send(pkt.data(), pkt.size());
    ++stats_->packets;
}

}  // namespace korvex::sim
