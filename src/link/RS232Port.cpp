// SPDX-License-Identifier: GPL-3.0-or-later
// The port layer on POSIX termios: the device opened exclusively and non-blocking, a
// transmit handed to the kernel, a receive of exactly the wanted number of bytes bounded
// by one deadline, line errors from the driver's counters and its PARMRK marks.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "link/RS232PortState.h"
#include "link/RS232PortTesting.h"

namespace korvex {

namespace {

using Clock = std::chrono::steady_clock;

// The POSIX port: the decoder of the driver's error marks, whose state carries over
// between reads.
struct PosixPort final : RS232Port {
    ParmrkDecoder decoder;
};

PosixPort& Posix(RS232Port* port) {
    return static_cast<PosixPort&>(*port);
}

int Fd(const RS232Port& port) {
    return int(port.device);
}

class KernelSource : public LineStatusSource {
public:
    bool ReadCounts(intptr_t fd, LineErrorCounts* out) override {
#ifdef TIOCGICOUNT
        serial_icounter_struct ic{};
        if (ioctl(int(fd), TIOCGICOUNT, &ic) != 0) return false;
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

bool BaudConstant(uint32_t baud, speed_t* out) {
    static const struct {
        uint32_t baud;
        speed_t code;
    } kTable[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                  {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                  {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (auto& e : kTable) {
        if (e.baud == baud) {
            *out = e.code;
            return true;
        }
    }
    return false;
}

}  // namespace

bool RS232_MakeTermios(uint32_t baud, uint8_t parity, uint8_t stopbits, termios* out) {
    termios& t = *out;
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    if (parity == kParityOdd) t.c_cflag |= PARENB | PARODD;
    if (parity == kParityEven) t.c_cflag |= PARENB;
    if (parity > kParityEven) return false;
    if (stopbits == 2) t.c_cflag |= CSTOPB;
    // Errors are marked in the data (FF 00 x, a genuine FF doubled) and counted by the
    // driver, never ignored, never turned into signals.
    t.c_iflag &= ~(IGNPAR | IGNBRK | BRKINT | ISTRIP | IXON | IXOFF | IXANY);
    t.c_iflag |= INPCK | PARMRK;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    speed_t code;
    if (!BaudConstant(baud, &code)) return false;
    return cfsetispeed(&t, code) == 0 && cfsetospeed(&t, code) == 0;
}

namespace {

bool ApplyFraming(int fd, uint32_t baud, uint8_t parity, uint8_t stopbits) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    if (!RS232_MakeTermios(baud, parity, stopbits, &t)) return false;
    if (tcsetattr(fd, TCSANOW, &t) == 0) return true;
    // A device without parity (a pseudo-terminal, the simulator's cable) drops the parity
    // bits, and the kernel refuses a request of which nothing else would change. The port
    // is set as well as the device can be when everything but parity is in place.
    termios now{};
    if (errno != EINVAL || tcgetattr(fd, &now) != 0) return false;
    const tcflag_t parity_bits = PARENB | PARODD;
    return (now.c_cflag & ~parity_bits) == (t.c_cflag & ~parity_bits) && now.c_iflag == t.c_iflag &&
           now.c_oflag == t.c_oflag && now.c_lflag == t.c_lflag &&
           cfgetispeed(&now) == cfgetispeed(&t) && cfgetospeed(&now) == cfgetospeed(&t);
}

// USB adapters hold received bytes up to 16 ms unless asked for low latency; that
// would dominate every ModBus exchange. Drivers without the setting are left alone.
void RequestLowLatency(int fd) {
#if defined(__linux__) && defined(TIOCGSERIAL)
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
        ss.flags |= ASYNC_LOW_LATENCY;
        (void)ioctl(fd, TIOCSSERIAL, &ss);
    }
#else
    (void)fd;
#endif
}

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    // Round up so that a poll never returns a millisecond before the deadline.
    return static_cast<int>(left.count()) + 1;
}

// Waits up to `ms` for `events` on the port, or for its stop token. Returns what poll
// returns; *cancelled tells whether the token woke it.
int WaitPort(const RS232Port& port, short events, int ms, short* revents, bool* cancelled) {
    const CancelHandle* cancel = StopHandle(port);
    pollfd p[2] = {{Fd(port), events, 0}, {cancel ? int(cancel->native()) : -1, POLLIN, 0}};
    int pr = poll(p, cancel ? 2 : 1, ms);
    *revents = p[0].revents;
    *cancelled = pr > 0 && cancel && (p[1].revents & POLLIN);
    return pr;
}

// Once an answer has begun, the rest cannot arrive sooner than its time on the line.
// Sleeping through most of it, instead of waking for every few characters, keeps a
// 166 Hz stream from costing a wake-up per character. The last characters are waited
// for with poll again, so the answer is taken as soon as it is complete.
void SleepForTheRest(const RS232Port& port, uint32_t missing, Clock::time_point deadline) {
    if (!port.baud) return;
    auto char_time =
        std::chrono::nanoseconds(uint64_t(port.bits_per_char) * 1000000000ull / port.baud);
    auto margin = std::max<Clock::duration>(char_time * 2, std::chrono::microseconds(250));
    auto rest = char_time * missing;
    if (rest < margin + std::chrono::microseconds(500)) return;
    auto until = std::min(deadline, Clock::now() + rest - margin);
    const CancelHandle* cancel = StopHandle(port);
    if (!cancel) {
        std::this_thread::sleep_until(until);
        return;
    }
    // A stop ends the sleep at once.
    auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now());
    if (left.count() <= 0) return;
    timespec ts{time_t(left.count() / 1000000000), long(left.count() % 1000000000)};
    pollfd p{int(cancel->native()), POLLIN, 0};
    (void)ppoll(&p, 1, &ts, nullptr);
}

}  // namespace

LineStatusSource& KernelLineStatus() {
    static KernelSource source;
    return source;
}

intptr_t OpenDeviceExclusive(const std::string& path, int* error) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    // TIOCEXCL keeps other users out of the tty (root is exempt); the lock keeps out
    // every program that honours it, root included.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = (errno == EWOULDBLOCK) ? EBUSY : errno;
        close(fd);
        return -1;
    }
#ifdef TIOCGEXCL
    // Another program holds the tty exclusively; root would get past that, and closing
    // our descriptor would clear its flag.
    int held = 0;
    if (ioctl(fd, TIOCGEXCL, &held) == 0 && held) {
        close(fd);
        *error = EBUSY;
        return -1;
    }
#endif
    (void)ioctl(fd, TIOCEXCL);
    return fd;
}

void CloseDevice(intptr_t device) {
    if (device < 0) return;
    int fd = int(device);
    // The exclusive flag belongs to the tty, not to our descriptor; leave it clear for
    // whoever opens the port next.
    (void)ioctl(fd, TIOCNXCL);
    close(fd);
}

RS232Port* RS232_Open(const std::string& name, uint32_t baud, uint8_t parity, uint8_t stopbits,
                      uint32_t timeout_ms, uint8_t flags, std::string* err_text) {
    intptr_t device = OpenNamedDevice(name, err_text);
    if (device == -1) return nullptr;
    int fd = int(device);
    if (!ApplyFraming(fd, baud, parity, stopbits)) {
        RefuseFraming(device, err_text);
        return nullptr;
    }
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIC, &lines);
    RequestLowLatency(fd);
    (void)tcflush(fd, TCIOFLUSH);

    auto* port = new PosixPort;
    SetUpPort(port, device, name, baud, parity, stopbits, timeout_ms, flags);
    return port;
}

RS232Port* RS232_AdoptDescriptor(int fd, const std::string& name, uint32_t baud, uint32_t wait_ms) {
    auto* port = new PosixPort;
    SetUpPort(port, fd, name, baud, kParityNone, 0, wait_ms, 0);
    return port;
}

uint32_t RS232_TxRx(RS232Port* port, const uint8_t* tx, uint32_t n_tx, uint8_t* rx, uint32_t* n_rx,
                    uint32_t n_rx_req, std::string* err_text) {
    if (!port) {
        ReportError(err_text, "RS232_TxRx(): hComm=0");
        return kRS232NullHandle;
    }
    if (n_rx) *n_rx = 0;

    if (tx && n_tx) {
        // The bytes are handed to the kernel and not awaited (no drain). Only when the
        // output queue is full do we wait for room, bounded by the time the bytes need
        // on the line plus the receive time-out.
        uint64_t wire_ms =
            uint64_t(n_tx) * port->bits_per_char * 1000 / (port->baud ? port->baud : 9600);
        auto deadline = Clock::now() + std::chrono::milliseconds(wire_ms + port->wait_ms + 100);
        uint32_t written = 0;
        while (written < n_tx) {
            ssize_t w = write(Fd(*port), tx + written, n_tx - written);
            if (w > 0) {
                written += static_cast<uint32_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno != EAGAIN) {
                if (written == 0) {
                    ReportError(err_text, StrPrintf("RS232_TxRx(): WriteFile(%d bytes): error 0x%X",
                                                    int(n_tx), unsigned(errno)));
                    return kRS232WriteFailed;
                }
                break;
            }
            int ms = RemainingMs(deadline);
            short revents = 0;
            bool cancelled = false;
            if (ms == 0 || WaitPort(*port, POLLOUT, ms, &revents, &cancelled) <= 0 || cancelled)
                break;
        }
        if (written < n_tx) {
            ReportError(err_text,
                        StrPrintf("WriteFile(%d bytes): n_wr=%d", int(n_tx), int(written)));
            return kRS232WriteShort;
        }
    }

    if (!rx || !n_rx || !n_rx_req) return kRS232Ok;

    auto deadline = Clock::now() + std::chrono::milliseconds(port->wait_ms);
    uint32_t got = 0;
    uint8_t raw_buf[512];
    while (got < n_rx_req) {
        uint32_t want = n_rx_req - got;
        if (want > sizeof raw_buf) want = sizeof raw_buf;
        ssize_t r = read(Fd(*port), raw_buf, want);
        if (r > 0) {
            got += static_cast<uint32_t>(
                Posix(port).decoder.Decode(raw_buf, size_t(r), rx + got, &port->marks));
            if (got < n_rx_req && port->sleep_through_receive)
                SleepForTheRest(*port, n_rx_req - got, deadline);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN) {
            *n_rx = got;
            ReportError(err_text,
                        StrPrintf("RS232_TxRx(): ReadFile() error 0x%X", unsigned(errno)));
            return kRS232ReadFailed;
        }
        int ms = RemainingMs(deadline);
        if (ms == 0) break;
        short revents = 0;
        bool cancelled = false;
        int pr = WaitPort(*port, POLLIN, ms, &revents, &cancelled);
        if (cancelled) {
            *n_rx = got;
            ReportError(err_text, "RS232_TxRx(): Cancelled");
            return kRS232Cancelled;
        }
        if (pr < 0 && errno != EINTR) {
            *n_rx = got;
            ReportError(err_text,
                        StrPrintf("RS232_TxRx(): ReadFile() error 0x%X", unsigned(errno)));
            return kRS232ReadFailed;
        }
        if (pr > 0 && (revents & (POLLERR | POLLNVAL))) {
            *n_rx = got;
            ReportError(err_text, StrPrintf("RS232_TxRx(): ReadFile() error 0x%X", unsigned(EIO)));
            return kRS232ReadFailed;
        }
        if (pr == 0 && RemainingMs(deadline) == 0) break;
    }
    *n_rx = got;
    if (got != n_rx_req) return ShortReceive(*port, n_rx_req, got, err_text);
    // A driver without counters at the open has none later either: no ioctl per receive;
    // its marks alone then tell the line errors.
    return CheckLineStatus(port, err_text);
}

void RS232_PurgeRx(RS232Port* port) {
    if (!port) return;
    (void)tcflush(Fd(*port), TCIFLUSH);
    Posix(port).decoder.Reset();
    ForgetLineErrors(port);
}

void RS232_DiscardUntilQuiet(RS232Port* port, uint32_t quiet_ms) {
    if (!port) return;
    auto deadline = Clock::now() + std::chrono::milliseconds(port->wait_ms);
    uint8_t junk[512];
    while (Clock::now() < deadline) {
        short revents = 0;
        bool cancelled = false;
        int pr = WaitPort(*port, POLLIN, int(quiet_ms), &revents, &cancelled);
        if (pr <= 0 || cancelled || !(revents & POLLIN)) break;
        if (read(Fd(*port), junk, sizeof junk) <= 0) break;
    }
    RS232_PurgeRx(port);
}

void RS232_Drain(RS232Port* port) {
    if (port) (void)tcdrain(Fd(*port));
}

int RS232_Close(RS232Port* port, std::string* err_text) {
    if (!port) return 0;
    (void)ioctl(Fd(*port), TIOCNXCL);
    int rc = close(Fd(*port));
    delete &Posix(port);
    if (rc != 0) {
        ReportError(err_text, "RS232_Close(): CloseHandle() error");
        return -1;
    }
    return 0;
}

}  // namespace korvex
