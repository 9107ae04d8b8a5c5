// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "sim/PtyPair.h"

namespace korvex::test {

// The far end of a serial cable: a pseudo-terminal master the test writes and reads.
class PtyPeer {
public:
    PtyPeer() {
        std::string error;
        ok_ = pty_.Open(&error);
    }
    bool ok() const { return ok_; }
    const std::string& port() const { return pty_.slave_path(); }

    void Write(const std::vector<uint8_t>& bytes) {
        (void)!write(pty_.master(), bytes.data(), bytes.size());
    }

    // Reads until n bytes have come or timeout_ms has passed.
    std::vector<uint8_t> Read(size_t n, int timeout_ms = 1000) {
        std::vector<uint8_t> out;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (out.size() < n) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{pty_.master(), POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0) break;
            uint8_t buf[256];
            ssize_t r =
                read(pty_.master(), buf, n - out.size() < sizeof buf ? n - out.size() : sizeof buf);
            if (r > 0) out.insert(out.end(), buf, buf + r);
        }
        return out;
    }

private:
    sim::PtyPair pty_;
    bool ok_ = false;
};

}  // namespace korvex::test
