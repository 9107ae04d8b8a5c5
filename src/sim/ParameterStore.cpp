// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/ParameterStore.h"

#include <cstring>

#include "sim/FaultCounter.h"

namespace korvex::sim {

namespace {

SimParameter Int(const char* name, int32_t v) {
    SimParameter p;
    p.name = name;
    p.i = v;
    return p;
}

SimParameter Float(const char* name, float v) {
    SimParameter p;
    p.name = name;
    p.is_float = true;
    p.f = v;
    return p;
}

// The settings of an excitation regulator: the voltage regulator, the limiters, the
// field forcing and the protections. Set 0 the general ones; sets 1 and 2 the two
// banks of the regulator's settings.
std::vector<SimParameterSet> StandardSets() {
    SimParameterSet general;
    general.params = {
        Int("Nominal Ug, V", 10500),   Int("Nominal If, A", 1240),
        Int("Nominal Uf, V", 310),     Float("CT ratio", 600.0f),
        Float("VT ratio", 105.0f),     Int("Channels", 2),
        Int("Address ModBus", 1),      Int("Thyristor bridges", 2),
        Float("Ceiling factor", 2.0f), Int("Cooling fans", 4),
        Int("Field breaker type", 3),  Float("Initial exc. time,s", 1.5f),
    };
    SimParameterSet bank1;
    bank1.params = {
        Float("Ug setpoint, pu", 1.0f),
        Float("Droop Xc, %", 4.0f),
        Float("K0u", 25.0f),
        Float("K1u", 2.5f),
        Float("K1if", 1.2f),
        Float("Kf", 0.8f),
        Float("T0u, s", 0.03f),
        Float("If max, pu", 1.6f),
        Float("If min, pu", 0.1f),
        Float("Forcing time, s", 20.0f),
        Float("Q limit, pu", -0.3f),
        Float("V/Hz limit, pu", 1.1f),
        Int("Stabiliser on", 1),
        Float("PSS gain", 6.0f),
        Float("PSS T1, s", 0.15f),
        Float("PSS T2, s", 0.05f),
        Int("Soft start", 1),
        Float("Ug max, pu", 1.1f),
        Float("Ug min, pu", 0.9f),
        Int("Rotor temp limit,C", 130),
    };
    SimParameterSet bank2 = bank1;
    bank2.params[2].f = 30.0f;  // K0u
    bank2.params[9].f = 15.0f;  // forcing time
    bank2.params[12].i = 0;     // stabiliser off
    bank2.params[19].i = 125;
    return {general, bank1, bank2};
}

void PutBE32(uint32_t v, uint8_t* p) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

}  // namespace

ParameterStore::ParameterStore() : sets_(StandardSets()) {}

void ParameterStore::SetSets(std::vector<SimParameterSet> sets) {
    std::lock_guard<std::mutex> lock(mu_);
    sets_ = std::move(sets);
    selected_ = 0;
}

std::vector<SimParameterSet> ParameterStore::sets() {
    std::lock_guard<std::mutex> lock(mu_);
    return sets_;
}

bool ParameterStore::Answer(uint16_t can_id, const uint8_t* d, size_t n,
                            std::vector<uint8_t>* reply) {
    if (can_id != 0x690 || n < 2 || d[0] != 0x78) return false;
    std::lock_guard<std::mutex> lock(mu_);
    const uint8_t sub = d[1];
    reply->assign(8, 0);
    std::vector<uint8_t>& r = *reply;
    r[1] = sub;
    if (sub == 0x01) {
        r[3] = 1;
        int count = faults->set_count >= 0 ? faults->set_count.load() : int(sets_.size());
        r[4] = uint8_t(count);
        return true;
    }
    if (n < 3) return false;
    const uint8_t arg = d[2];
    r[2] = arg;
    if (sub == 0x02) {
        selected_ = arg;
        size_t count = arg < sets_.size() ? sets_[arg].params.size() : 0;
        r[4] = uint8_t(count >> 8);
        r[5] = uint8_t(count);
        r[6] = arg < sets_.size() && sets_[arg].counted ? 0 : 1;
        if (TakeFault(faults->short_select)) r.resize(7);
        return true;
    }
    const SimParameter* p = nullptr;
    if (selected_ < sets_.size() && arg < sets_[selected_].params.size())
        p = &sets_[selected_].params[arg];
    if (sub >= 0x10 && sub <= 0x13) {
        size_t from = size_t(sub - 0x10) * 5;
        for (size_t k = 0; k < 5 && p; ++k)
            r[3 + k] = from + k < p->name.size() ? uint8_t(p->name[from + k]) : 0;
        if (TakeFault(faults->wrong_name_echo)) r[2] = uint8_t(arg + 1);
        return true;
    }
    if (sub == 0x05) {
        if (p) {
            r[3] = p->is_float ? 1 : 0;
            uint32_t bits = uint32_t(p->i);
            if (p->is_float) std::memcpy(&bits, &p->f, 4);
            PutBE32(bits, &r[4]);
        }
        if (TakeFault(faults->short_value)) r.resize(7);
        return true;
    }
    return false;
}

}  // namespace korvex::sim
