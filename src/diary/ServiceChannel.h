// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/RS232Port.h"

namespace korvex {

// The regulator's service channel: CAN frames to identifier 0x690 carried inside ModBus
// (address 0). Every request starts with 0x78; a reply's byte 0 is not examined and its
// multi-byte fields are big-endian.
//   78 01       set count:  01 00 . 01 <count>        (count at most 7)
//   78 02 s     select set: 02 s . <count:2> <counted: 0 = yes> .
//   78 1p j     name part p of parameter j: 1p j <five characters, 0 ends the name>
//   78 05 j     value of parameter j, exactly 8 bytes: 05 j <bit 0: float> <value:4>
constexpr uint16_t kServiceCanId = 0x690;
constexpr int kMaxParameterSets = 7;
// A parameter is addressed with one byte.
constexpr int kMaxParametersPerSet = 256;

struct ParameterValue {
    bool is_float = false;
    int32_t i = 0;
    float f = 0;
};

struct Parameter {
    std::string name;  // at most 20 characters, the regulator's bytes
    ParameterValue value;
};

struct ParameterSet {
    uint16_t count = 0;             // as the regulator reports it
    bool counted = false;           // its parameters count toward the progress range
    std::vector<Parameter> params;  // the first min(count, 256)
};

// An exchange's outcome: `code` of the link call (0 when it went through) and the
// message to show, empty when all is well. A reply that fails its checks has code 0
// and the check's message ("Error 1" ... "Error 6", "Parameter Read Name Error",
// "Bad Length (Read Param Value)").
struct ServiceResult {
    uint32_t code = 0;
    std::vector<std::string> messages;
    bool ok() const { return code == 0 && messages.empty(); }
};

// The four requests. Checks in the order the regulator's users know their messages:
// set count: byte 1 not 01 "Error 1", byte 2 not 0 "Error 2", fewer than 8 bytes "Error
// 3", byte 3 not 1 "Error 4", count above 7 "Error 5"; select set: a wrong echo or fewer
// than 8 bytes "Error 6"; name part: "Parameter Read Name Error"; value: a failed
// exchange (after its own message), a reply not of exactly 8 bytes or a wrong echo
// "Bad Length (Read Param Value)".
ServiceResult RequestSetCount(RS232Port* port, int* count);
ServiceResult SelectParameterSet(RS232Port* port, int set, ParameterSet* out);
ServiceResult ReadParameterName(RS232Port* port, int index, std::string* name);
ServiceResult ReadParameterValue(RS232Port* port, int index, ParameterValue* value);

}  // namespace korvex
