// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LineErrors.h"

namespace korvex {

LineErrorCounts CountsSince(const LineErrorCounts& now, const LineErrorCounts& before) {
    LineErrorCounts d;
    d.brk = now.brk - before.brk;
    d.frame = now.frame - before.frame;
    d.overrun = now.overrun - before.overrun;
    d.parity = now.parity - before.parity;
    d.buf_overrun = now.buf_overrun - before.buf_overrun;
    d.io = now.io - before.io;
    d.tx_full = now.tx_full - before.tx_full;
    d.other = now.other - before.other;
    return d;
}

void AddCommErrors(uint32_t flags, LineErrorCounts* c) {
    if (flags & kCommBreak) ++c->brk;
    if (flags & kCommFrame) ++c->frame;
    if (flags & kCommIoError) ++c->io;
    if (flags & kCommOverrun) ++c->overrun;
    if (flags & kCommRxOver) ++c->buf_overrun;
    if (flags & kCommRxParity) ++c->parity;
    if (flags & kCommTxFull) ++c->tx_full;
    const uint32_t known = kCommBreak | kCommFrame | kCommIoError | kCommOverrun | kCommRxOver |
                           kCommRxParity | kCommTxFull;
    if (flags & ~known) ++c->other;
}

size_t ParmrkDecoder::Decode(const uint8_t* raw, size_t n, uint8_t* out, MarkTally* tally) {
    size_t produced = 0;
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = raw[i];
        switch (state_) {
            case 0:
                if (b == 0xFF)
                    state_ = 1;
                else
                    out[produced++] = b;
                break;
            case 1:
                if (b == 0xFF) {
                    out[produced++] = 0xFF;
                    state_ = 0;
                } else if (b == 0x00) {
                    state_ = 2;
                } else {
                    // Not a sequence the driver makes: take x as a faulty character.
                    ++tally->byte_marks;
                    out[produced++] = b;
                    state_ = 0;
                }
                break;
            default:
                if (b == 0x00)
                    ++tally->nul_marks;
                else
                    ++tally->byte_marks;
                out[produced++] = b;
                state_ = 0;
                break;
        }
    }
    return produced;
}

uint32_t ClassifyLineErrors(const LineErrorCounts* delta, const MarkTally& marks) {
    if (delta) {
        if (delta->brk) return kLineBreak;
        if (delta->frame) return kLineFrame;
        if (delta->io) return kLineIoError;
        if (delta->overrun) return kLineOverrun;
        if (delta->buf_overrun) return kLineRxOverflow;
        if (delta->parity) return kLineParity;
        if (delta->tx_full) return kLineTxFull;
        if (delta->other || marks.nul_marks || marks.byte_marks) return kLineOther;
        return 0;
    }
    if (marks.nul_marks) return kLineBreak;
    if (marks.byte_marks) return kLineOther;
    return 0;
}

const char* LineErrorText(uint32_t code) {
    switch (code) {
        case kLineBreak: return "RS232_TxRx(): CE_BREAK";
        case kLineFrame: return "RS232_TxRx(): CE_FRAME";
        case kLineIoError: return "RS232_TxRx(): CE_IOE";
        case kLineOverrun: return "RS232_TxRx(): CE_OVERRUN";
        case kLineRxOverflow: return "RS232_TxRx(): CE_RXOVER";
        case kLineParity: return "RS232_TxRx(): CE_RXPARITY";
        case kLineTxFull: return "RS232_TxRx(): CE_TXFULL";
        default: return "RS232_TxRx(): Unknown error";
    }
}

}  // namespace korvex
