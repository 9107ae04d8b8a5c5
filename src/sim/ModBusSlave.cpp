// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/ModBusSlave.h"

#include <algorithm>
#include <thread>

#include "app/StrPrintf.h"
#include "link/ModBus.h"
#include "link/ModBusCRC.h"
#include "link/ModeSwitch.h"
#include "sim/FaultCounter.h"

namespace korvex::sim {

namespace {

constexpr uint8_t kAddress = 1;

uint16_t Get16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

}  // namespace

ModBusSlave::ModBusSlave(uint32_t baud, std::shared_ptr<RegisterMap> regs,
                         std::shared_ptr<ModBusFaults> faults,
                         std::vector<std::shared_ptr<RegisterDevice>> devices,
                         std::shared_ptr<CanDevice> can)
    : baud_(baud),
      regs_(std::move(regs)),
      faults_(std::move(faults)),
      devices_(std::move(devices)),
      can_(std::move(can)) {}

int ModBusSlave::ReadRegisters(uint16_t reg, uint16_t num, uint16_t* out, bool input) {
    for (auto& d : devices_) {
        int rc = d->Read(reg, num, out, input);
        if (rc != RegisterDevice::kNotMine) return rc;
    }
    return regs_->Read(reg, num, out) ? 0 : kModBusIllegalDataAddress;
}

int ModBusSlave::WriteRegister(uint16_t reg, uint16_t value) {
    for (auto& d : devices_) {
        int rc = d->Write(reg, value);
        if (rc != RegisterDevice::kNotMine) return rc;
    }
    return regs_->Write(reg, value) ? 0 : kModBusIllegalDataAddress;
}

size_t ModBusSlave::ExpectedLength() const {
    if (frame_.size() < 2) return 0;
    switch (frame_[1]) {
        case kModBusReadHolding:
        case kModBusReadInput:
        case kModBusWriteSingle: return 8;
        case kModBusWriteMultiple: return frame_.size() < 7 ? 0 : size_t(9 + frame_[6]);
        case kModBusCanTunnel: return frame_.size() < 3 ? 0 : size_t(6 + (frame_[2] >> 4));
        default: return 0;  // a function the regulator lacks: the frame ends at the line's silence
    }
}

void ModBusSlave::OnEnter(SimLink& link) {
    last_heard_ = link.Now();
}

size_t ModBusSlave::OnBytes(const uint8_t* data, size_t n, SimLink& link) {
    last_heard_ = link.Now();
    // A gap of more than 3.5 characters on the line ends a frame: whatever came before
    // is dropped. Line times, not delivery times, so a busy simulator splits nothing.
    if (!frame_.empty() &&
        link.FirstByteTime() - last_byte_ > speed().CharTime() * 4 + std::chrono::milliseconds(2))
        frame_.clear();
    last_byte_ = link.LastByteTime();
    for (size_t i = 0; i < n; ++i) {
        frame_.push_back(data[i]);
        size_t want = ExpectedLength();
        if (want && frame_.size() >= want) {
            Serve(link);
            frame_.clear();
            // After the exit message the next bytes are the normal mode's.
            if (link.ModeChanging()) return i + 1;
        } else if (frame_.size() > 260) {
            frame_.clear();
        }
    }
    return n;
}

void ModBusSlave::OnIdle(SimLink& link) {
    if (watchdog_ > Clock::duration::zero() && link.Now() - last_heard_ > watchdog_) {
        link.Log(StrPrintf("modbus: nothing received for %.1f s, back to the normal mode",
                           std::chrono::duration<double>(watchdog_).count()));
        link.ReturnToNormal();
        return;
    }
    if (frame_.empty()) return;
    auto silence = link.Now() - last_byte_;
    if (ExpectedLength() == 0 && frame_.size() >= 4 && silence > speed().CharTime() * 4) {
        Serve(link);
        frame_.clear();
    } else if (silence > std::chrono::milliseconds(50)) {
        frame_.clear();
    }
}

void ModBusSlave::Serve(SimLink& link) {
    const std::vector<uint8_t>& f = frame_;
    uint16_t crc = ModBus_CRC(f.data(), f.size() - 2);
    if (f[f.size() - 2] != uint8_t(crc) || f[f.size() - 1] != uint8_t(crc >> 8)) {
        link.Log("modbus: request with a bad CRC ignored");
        return;
    }
    uint8_t addr = f[0], fn = f[1];
    if (fn == kModBusCanTunnel) {
        uint16_t can_id = uint16_t((f[2] & 0x07) << 8 | f[3]);
        size_t len = f[2] >> 4;
        if (addr == 0 && can_id == kModBusExitCanId && len == kModBusExitMessage.size() &&
            std::equal(kModBusExitMessage.begin(), kModBusExitMessage.end(), &f[4])) {
            link.Log("modbus: exit message, back to the normal mode");
            link.ReturnToNormal();
            return;
        }
        // The service channel answers from the same identifier.
        std::vector<uint8_t> data;
        if (can_ && can_->Answer(can_id, &f[4], len, &data)) {
            std::vector<uint8_t> pdu = {addr, kModBusCanTunnel,
                                        uint8_t(data.size() << 4 | (can_id >> 8 & 0x07)),
                                        uint8_t(can_id)};
            pdu.insert(pdu.end(), data.begin(), data.end());
            Answer(link, std::move(pdu));
            return;
        }
        Answer(link, {addr, kModBusCanTunnel, uint8_t(f[2] & 0x07), f[3]});
        return;
    }
    if (addr != kAddress) return;
    // An exception answer: the function with its flag, and the exception code.
    auto refuse = [&](int code) {
        Answer(link, {addr, uint8_t(fn | kModBusExceptionFlag), uint8_t(code)});
    };
    if (TakeFault(faults_->exception)) {
        refuse(faults_->exception_code.load());
        return;
    }
    switch (fn) {
        case kModBusReadHolding:
        case kModBusReadInput: {
            uint16_t reg = Get16(&f[2]), num = Get16(&f[4]);
            std::vector<uint16_t> values(num);
            if (num < 1 || num > kModBusMaxRead) {
                refuse(kModBusIllegalDataValue);
                return;
            }
            if (int ex = ReadRegisters(reg, num, values.data(), fn == kModBusReadInput)) {
                refuse(ex);
                return;
            }
            std::vector<uint8_t> pdu = {addr, fn, uint8_t(2 * num)};
            for (uint16_t v : values) {
                pdu.push_back(uint8_t(v >> 8));
                pdu.push_back(uint8_t(v));
            }
            Answer(link, std::move(pdu));
            return;
        }
        case kModBusWriteSingle: {
            if (int ex = WriteRegister(Get16(&f[2]), Get16(&f[4]))) {
                refuse(ex);
                return;
            }
            Answer(link, std::vector<uint8_t>(f.begin(), f.begin() + 6));
            return;
        }
        case kModBusWriteMultiple: {
            uint16_t reg = Get16(&f[2]), num = Get16(&f[4]);
            if (num < 1 || num > kModBusMaxWrite || f[6] != 2 * num) {
                refuse(kModBusIllegalDataValue);
                return;
            }
            for (uint16_t i = 0; i < num; ++i) {
                if (int ex = WriteRegister(uint16_t(reg + i), Get16(&f[7 + 2 * i]))) {
                    refuse(ex);
                    return;
                }
            }
            Answer(link, std::vector<uint8_t>(f.begin(), f.begin() + 6));
            return;
        }
        default: refuse(kModBusIllegalFunction); return;
    }
}

void ModBusSlave::Answer(SimLink& link, std::vector<uint8_t> pdu) {
    if (TakeFault(faults_->silent)) return;
    if (TakeFault(faults_->wrong_address)) pdu[0] = uint8_t(pdu[0] + 1);
    uint16_t crc = ModBus_CRC(pdu.data(), pdu.size());
    pdu.push_back(uint8_t(crc));
    pdu.push_back(uint8_t(crc >> 8));
    if (TakeFault(faults_->bad_crc)) pdu.back() ^= 0xFF;
    if (TakeFault(faults_->truncate) && size_t(faults_->truncate_to.load()) < pdu.size())
        pdu.resize(size_t(faults_->truncate_to.load()));
    if (int d = faults_->delay_ms.load()) std::this_thread::sleep_for(std::chrono::milliseconds(d));
    link.Send(pdu.data(), pdu.size());
}

}  // namespace korvex::sim
