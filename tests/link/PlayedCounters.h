// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <tuple>

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
    LineErrorCounts counts;
    bool readable = true;
};

// Complete exchanges in a row, each checked by the line-status step: the errors counted
// during it (ClearCommError's flags, counted into the played counters with AddCommErrors as
// the Windows source counts them), whether the counters can be read, and the code and text
// it must end with.
inline const std::tuple<uint32_t, bool, uint32_t, const char*> kLineStatusCases[] = {
    {0, true, kRS232Ok, ""},
    {kCommFrame, true, kLineFrame, "RS232_TxRx(): CE_FRAME"},
    {kCommBreak | kCommRxParity, true, kLineBreak, "RS232_TxRx(): CE_BREAK"},
    {kCommOverrun, true, kLineOverrun, "RS232_TxRx(): CE_OVERRUN"},
    {kCommRxOver, true, kLineRxOverflow, "RS232_TxRx(): CE_RXOVER"},
    {kCommRxParity, true, kLineParity, "RS232_TxRx(): CE_RXPARITY"},
    {0, false, kRS232LineStatusFailed, "RS232_TxRx(): ClearCommError() error"},
    {0, true, kRS232Ok, ""},  // readable again: a clean exchange
};

}  // namespace korvex::test
