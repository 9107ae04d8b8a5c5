// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimRegulator.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>

#include "app/StrPrintf.h"
#include "sim/NormalMode.h"

namespace korvex::sim {

class SimRegulator::Link : public SimLink {
public:
    explicit Link(SimRegulator& sim) : sim_(sim) {}
    void Send(const uint8_t* data, size_t n) override { sim_.SendPaced(data, n); }
    void EnterMode(uint8_t target, int32_t key) override {
        auto it = sim_.factories_.find(target);
        if (it == sim_.factories_.end()) {
            Log(StrPrintf("target 0x%02X is not served; staying in %s mode", target,
                          sim_.mode_->name()));
            return;
        }
        sim_.pending_mode_ = it->second(key);
    }
    // Back in the normal mode the port is free for a new session, as a real regulator's is
    // after a cable was pulled: the exclusive flag of a program that died goes too.
    void ReturnToNormal() override {
        sim_.pending_mode_ = std::make_unique<NormalMode>();
        sim_.pty_.ReleaseExclusive();
    }
    bool ModeChanging() const override { return sim_.pending_mode_ != nullptr; }
    void Log(const std::string& text) override {
        if (sim_.logger_) sim_.logger_(text);
    }
    Clock::time_point FirstByteTime() const override { return sim_.batch_first_; }
    Clock::time_point LastByteTime() const override { return sim_.batch_last_; }

private:
    SimRegulator& sim_;
};

SimRegulator::SimRegulator() : link_(std::make_unique<Link>(*this)) {}

SimRegulator::~SimRegulator() {
    Stop();
}

void SimRegulator::RegisterMode(uint8_t target, ModeFactory factory) {
    factories_[target] = std::move(factory);
}

void SimRegulator::StartIn(std::unique_ptr<SimMode> mode) {
    pending_mode_ = std::move(mode);
}

void SimRegulator::SetLogger(std::function<void(const std::string&)> logger) {
    logger_ = std::move(logger);
}

bool SimRegulator::Start(std::string* error) {
    if (thread_.joinable()) return true;
    if (!pty_.Open(error)) return false;
    if (pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = "pipe failed";
        pty_.Close();
        return false;
    }
    if (!pending_mode_) pending_mode_ = std::make_unique<NormalMode>();
    ApplyPendingMode();
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void SimRegulator::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        char c = 0;
        (void)!write(wake_pipe_[1], &c, 1);
        thread_.join();
    }
    for (int& fd : wake_pipe_) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    pty_.Close();
}

std::string SimRegulator::current_mode() const {
    std::lock_guard<std::mutex> lock(mu_);
    return mode_name_;
}

std::vector<SimRegulator::WireEvent> SimRegulator::Wire() const {
    std::lock_guard<std::mutex> lock(mu_);
    return wire_;
}

std::vector<uint8_t> SimRegulator::Received() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<uint8_t> out;
    for (const auto& e : wire_)
        if (e.from_program) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    return out;
}

void SimRegulator::ClearWire() {
    std::lock_guard<std::mutex> lock(mu_);
    wire_.clear();
    ++wire_generation_;
}

SimRegulator::WireMark SimRegulator::Record(bool from_program, const uint8_t* data, size_t n) {
    std::lock_guard<std::mutex> lock(mu_);
    if (wire_.empty() || wire_.back().from_program != from_program ||
        wire_.back().mode != mode_name_)
        wire_.push_back({from_program, mode_name_, {}});
    wire_.back().bytes.insert(wire_.back().bytes.end(), data, data + n);
    return {wire_generation_, wire_.size() - 1};
}

void SimRegulator::ApplyPendingMode() {
    while (pending_mode_) {
        mode_ = std::move(pending_mode_);
        {
            std::lock_guard<std::mutex> lock(mu_);
            mode_name_ = mode_->name();
        }
        LineSpeed s = mode_->speed();
        link_->Log(StrPrintf("mode %s, %u baud, %u bits per character", mode_->name(), s.baud,
                             s.bits_per_char));
        mode_->OnEnter(*link_);
    }
}

// Reads what the program wrote and gives each byte the time its last bit would arrive
// at the current line speed.
void SimRegulator::PumpInput(Clock::time_point until) {
    while (!stop_) {
        auto now = Clock::now();
        Clock::time_point wake = until;
        if (!rx_queue_.empty() && rx_queue_.front().due < wake) wake = rx_queue_.front().due;
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now);
        if (left.count() < 0) left = std::chrono::nanoseconds(0);
        pollfd fds[2] = {{pty_.master(), POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
        // A wait to the nanosecond (one character at 230400 baud is 48 us) that still
        // takes the program's bytes the moment they come: a blind sleep would hand them
        // over up to its length late, and every answer after them.
        // The last microseconds are spun rather than slept: a thread's wake-up takes
        // about as long, and would make every answer late by it.
        constexpr std::chrono::nanoseconds kSpin = std::chrono::microseconds(25);
        auto sleep = left > kSpin ? left - kSpin : std::chrono::nanoseconds(0);
        timespec ts{time_t(sleep.count() / 1000000000), long(sleep.count() % 1000000000)};
        int pr = ppoll(fds, 2, &ts, nullptr);
        if (pr == 0) {
            while (Clock::now() < wake) {
            }
            return;
        }
        if (pr > 0 && (fds[0].revents & POLLIN)) {
            uint8_t buf[4096];
            ssize_t r = read(pty_.master(), buf, sizeof buf);
            if (r > 0) {
                auto t = Clock::now();
                LineSpeed s = mode_->speed();
                for (ssize_t i = 0; i < r; ++i) rx_queue_.push_back({buf[i], rx_clock_.Next(t, s)});
                continue;
            }
        }
        if (fds[1].revents & POLLIN) return;
        if (Clock::now() >= wake) return;
    }
}

void SimRegulator::Deliver(Clock::time_point upto) {
    size_t n = 0;
    while (n < rx_queue_.size() && rx_queue_[n].due <= upto) ++n;
    if (n == 0) return;
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = rx_queue_[i].byte;
    std::vector<Clock::time_point> due(n);
    for (size_t i = 0; i < n; ++i) due[i] = rx_queue_[i].due;
    rx_queue_.erase(rx_queue_.begin(), rx_queue_.begin() + long(n));
    // A mode that hands the port on mid-batch leaves the rest to the next mode, which
    // sees them as its own first bytes (and records them under its name).
    for (size_t off = 0; off < n;) {
        batch_first_ = due[off];
        batch_last_ = due[n - 1];
        const WireMark mark = Record(true, bytes.data() + off, n - off);
        size_t took =
            std::clamp<size_t>(mode_->OnBytes(bytes.data() + off, n - off, *link_), 1, n - off);
        if (took < n - off) {
            // Those were recorded before the mode's answers; they belong after them. (A
            // ClearWire from another thread in between has taken them already.)
            const size_t rest = n - off - took;
            std::lock_guard<std::mutex> lock(mu_);
            if (mark.generation == wire_generation_ && mark.event < wire_.size() &&
                wire_[mark.event].from_program && wire_[mark.event].bytes.size() >= rest)
                wire_[mark.event].bytes.resize(wire_[mark.event].bytes.size() - rest);
        }
        ApplyPendingMode();
        off += took;
    }
}

void SimRegulator::SendPaced(const uint8_t* data, size_t n) {
    LineSpeed s = mode_->speed();
    Record(false, data, n);
    // The characters follow each other without a gap; character i is complete at
    // start + (i + 1) * char_time, however late this thread wakes up.
    Clock::time_point start = tx_clock_.Next(Clock::now(), s) - s.CharTime();
    for (size_t k = 1; k < n; ++k) tx_clock_.Next(tx_clock_.free_at(), s);
    size_t i = 0;
    while (i < n && !stop_) {
        PumpInput(start + s.CharTime() * long(i + 1));
        if (stop_) return;
        auto now = Clock::now();
        size_t k = i + 1;
        while (k < n && start + s.CharTime() * long(k + 1) <= now) ++k;
        ssize_t w = write(pty_.master(), data + i, k - i);
        if (w < 0 && errno != EAGAIN && errno != EINTR) return;
        // EAGAIN: nobody is reading the port and its queue is full; the bytes are lost.
        i = k;
    }
}

void SimRegulator::Run() {
    prctl(PR_SET_TIMERSLACK, 1000UL);
    auto next_idle = Clock::now();
    while (!stop_) {
        auto interval = std::chrono::milliseconds(mode_->IdleIntervalMs());
        Clock::time_point until = std::min(next_idle, mode_->Deadline());
        PumpInput(until);
        if (stop_) break;
        auto now = Clock::now();
        Deliver(now);
        if (now >= next_idle || now >= mode_->Deadline()) {
            mode_->OnIdle(*link_);
            ApplyPendingMode();
            next_idle = Clock::now() + interval;
        }
    }
}

}  // namespace korvex::sim
