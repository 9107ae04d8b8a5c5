// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LineErrors.h"
#include "link/RS232Port.h"

namespace korvex::test {

// Line-error counters played by the test (RS232_SetLineStatusSource): a pseudo-terminal
// keeps none, and a real port's cannot be made to count on demand.
class PlayedCounters : public LineStatusSource {
public:
    bool ReadCounts(intptr_t, LineErrorCounts* out) override {
        *out = counts;
        return readable;
    }
    // The errors the driver counts during one exchange.
    void Count(const LineErrorCounts& more) {
        counts.brk += more.brk;
        counts.frame += more.frame;
        counts.overrun += more.overrun;
        counts.parity += more.parity;
        counts.buf_overrun += more.buf_overrun;
    }
    LineErrorCounts counts;
    bool readable = true;
};

// Complete exchanges in a row, each checked by the line-status step: the errors counted
// during it (or counters that cannot be read), and the code and text it must end with.
struct LineStatusCase {
    LineErrorCounts errors;
    bool readable;
    uint32_t code;
    const char* text;
};
inline const LineStatusCase kLineStatusCases[] = {
    {{}, true, kRS232Ok, ""},
    {{.frame = 1}, true, kLineFrame, "RS232_TxRx(): CE_FRAME"},
    {{.brk = 1, .parity = 1}, true, kLineBreak, "RS232_TxRx(): CE_BREAK"},
    {{.overrun = 1}, true, kLineOverrun, "RS232_TxRx(): CE_OVERRUN"},
    {{.buf_overrun = 1}, true, kLineRxOverflow, "RS232_TxRx(): CE_RXOVER"},
    {{.parity = 1}, true, kLineParity, "RS232_TxRx(): CE_RXPARITY"},
    {{}, false, kRS232LineStatusFailed, "RS232_TxRx(): ClearCommError() error"},
    {{}, true, kRS232Ok, ""},  // readable again: a clean exchange
};

}  // namespace korvex::test
