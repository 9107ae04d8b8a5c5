// SPDX-License-Identifier: GPL-3.0-or-later
#include "diary/ServiceChannel.h"

#include "link/ByteOrder.h"
#include "link/ModBus.h"

namespace korvex {

namespace {

// One service exchange; a failed link call gives its ModBus text.
ServiceResult Exchange(RS232Port* port, const uint8_t* request, uint32_t len, uint8_t* reply,
                       uint32_t* count) {
    ServiceResult r;
    std::string err;
    *count = 0;
    r.code = ModBus_CanTxRx(port, 0, request, len, kServiceCanId, reply, count, &err);
    if (r.code) r.messages.push_back(err);
    return r;
}

ServiceResult Fail(const char* message) {
    ServiceResult r;
    r.messages.push_back(message);
    return r;
}

}  // namespace

ServiceResult RequestSetCount(RS232Port* port, int* count) {
    const uint8_t request[] = {0x78, 0x01};
    uint8_t reply[kCanMaxData];
    uint32_t n = 0;
    ServiceResult r = Exchange(port, request, sizeof request, reply, &n);
    if (!r.ok()) return r;
    if (n < 2 || reply[1] != 0x01) return Fail("Error 1");
    if (n < 3 || reply[2] != 0) return Fail("Error 2");
    if (n < 8) return Fail("Error 3");
    if (reply[3] != 1) return Fail("Error 4");
    if (reply[4] > kMaxParameterSets) return Fail("Error 5");
    *count = reply[4];
    return r;
}

ServiceResult SelectParameterSet(RS232Port* port, int set, ParameterSet* out) {
    const uint8_t request[] = {0x78, 0x02, uint8_t(set)};
    uint8_t reply[kCanMaxData];
    uint32_t n = 0;
    ServiceResult r = Exchange(port, request, sizeof request, reply, &n);
    if (!r.ok()) return r;
    if (n < 8 || reply[1] != 0x02 || reply[2] != uint8_t(set)) return Fail("Error 6");
    out->count = uint16_t(GetI16BE(reply + 4));
    out->counted = reply[6] == 0;
    return r;
}

ServiceResult ReadParameterName(RS232Port* port, int index, std::string* name) {
    name->clear();
    for (int part = 0; part < 4; ++part) {
        const uint8_t request[] = {0x78, uint8_t(0x10 + part), uint8_t(index)};
        uint8_t reply[kCanMaxData];
        uint32_t n = 0;
        ServiceResult r = Exchange(port, request, sizeof request, reply, &n);
        if (!r.ok()) return r;
        if (n < 8 || reply[1] != 0x10 + part || reply[2] != uint8_t(index))
            return Fail("Parameter Read Name Error");
        for (int k = 3; k < 8; ++k) {
            if (!reply[k]) return r;
            *name += char(reply[k]);
        }
    }
    return {};
}

ServiceResult ReadParameterValue(RS232Port* port, int index, ParameterValue* value) {
    const uint8_t request[] = {0x78, 0x05, uint8_t(index)};
    uint8_t reply[kCanMaxData];
    uint32_t n = 0;
    ServiceResult r = Exchange(port, request, sizeof request, reply, &n);
    if (r.code || n != 8 || reply[1] != 0x05 || reply[2] != uint8_t(index)) {
        r.messages.push_back("Bad Length (Read Param Value)");
        return r;
    }
    value->is_float = reply[3] & 1;
    value->i = GetI32BE(reply + 4);
    value->f = GetF32BE(reply + 4);
    return r;
}

}  // namespace korvex
