// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

#include "app/CancelHandle.h"

namespace korvex {

// How every worker is asked to stop: a flag that loops check between steps, and the
// cancel handle that wakes a wait in the port layer at once (a port that carries the
// token ends its receive with kRS232Cancelled). The token belongs to the owner of the
// worker (a session, a command), outlives the worker, and is handed to it by pointer.
// RequestStop() may be called from any thread, a signal handler's included (it only
// stores an atomic and writes to a descriptor); Reset() only while no worker uses it.
class StopToken {
public:
    StopToken() = default;
    StopToken(const StopToken&) = delete;
    StopToken& operator=(const StopToken&) = delete;

    void RequestStop() {
        stop_.store(true, std::memory_order_release);
        handle_.Signal();
    }
    bool stop_requested() const { return stop_.load(std::memory_order_acquire); }
    // Ready for the next worker.
    void Reset() {
        stop_.store(false, std::memory_order_release);
        handle_.Reset();
    }
    const CancelHandle& handle() const { return handle_; }

private:
    std::atomic<bool> stop_{false};
    CancelHandle handle_;
};

// True when `token` is given and has been asked to stop.
inline bool StopRequested(const StopToken* token) {
    return token && token->stop_requested();
}

}  // namespace korvex
