// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "sim/PtyPair.h"

namespace korvex::test {

// The far end of a serial cable: a pseudo-terminal master the test writes and reads.
class PtyPeer {
public:
    bool ok() const { return ok_; }
    const std::string& port() const { return pty_.slave_path(); }

    void Write(const std::vector<uint8_t>& bytes) {
        (void)!write(pty_.master(), bytes.data(), bytes.size());
    }

    // Reads until n bytes have come or timeout_ms has passed.
    std::vector<uint8_t> Read(size_t n, int timeout_ms = 1000) {
        using namespace std::chrono;
        std::vector<uint8_t> out;
        const auto deadline = steady_clock::now() + milliseconds(timeout_ms);
        pollfd p{pty_.master(), POLLIN, 0};
        while (out.size() < n) {
            auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            if (left <= 0 || poll(&p, 1, int(left)) <= 0) break;
            uint8_t buf[256];
            ssize_t r = read(pty_.master(), buf, std::min(n - out.size(), sizeof buf));
            if (r > 0) out.insert(out.end(), buf, buf + r);
        }
        return out;
    }

private:
    sim::PtyPair pty_;
    std::string error_;
    bool ok_ = pty_.Open(&error_);
};

}  // namespace korvex::test
