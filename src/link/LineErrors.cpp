#include "link/LineErrors.h"

#include <sys/ioctl.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

namespace korvex {

namespace {

class KernelSource : public LineStatusSource {
public:
    bool ReadCounts(int fd, LineErrorCounts* out) override {
#ifdef TIOCGICOUNT
        serial_icounter_struct ic{};
        if (ioctl(fd, TIOCGICOUNT, &ic) != 0) return false;
        out->brk = static_cast<uint32_t>(ic.brk);
        out->frame = static_cast<uint32_t>(ic.frame);
        out->overrun = static_cast<uint32_t>(ic.overrun);
        out->parity = static_cast<uint32_t>(ic.parity);
        out->buf_overrun = static_cast<uint32_t>(ic.buf_overrun);
        return true;
#else
        (void)fd;
        (void)out;
        return false;
#endif
    }
};

}  // namespace

LineStatusSource& KernelLineStatus() {
    static KernelSource source;
    return source;
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
        if (delta->brk) return 32;
        if (delta->frame) return 33;
        if (delta->overrun) return 35;
        if (delta->buf_overrun) return 36;
        if (delta->parity) return 37;
        if (marks.nul_marks || marks.byte_marks) return 39;
        return 0;
    }
    if (marks.nul_marks) return 32;
    if (marks.byte_marks) return 39;
    return 0;
}

const char* LineErrorText(uint32_t code) {
    switch (code) {
        case 32: return "RS232_TxRx(): CE_BREAK";
        case 33: return "RS232_TxRx(): CE_FRAME";
        case 34: return "RS232_TxRx(): CE_IOE";
        case 35: return "RS232_TxRx(): CE_OVERRUN";
        case 36: return "RS232_TxRx(): CE_RXOVER";
        case 37: return "RS232_TxRx(): CE_RXPARITY";
        case 38: return "RS232_TxRx(): CE_TXFULL";
        default: return "RS232_TxRx(): Unknown error";
    }
}

}  // namespace korvex
