// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace korvex {

// Wakes a thread that waits in the port layer. Signal() may be called from any thread;
// once signalled, every receive on a port that carries the handle returns at once with
// kRS232Cancelled (and a transmit that waits for room gives up) until Reset(). The
// handle belongs to whoever owns the worker, not to the port, so that it outlives the
// port the worker closes.
class CancelHandle {
public:
    CancelHandle();
    ~CancelHandle();
    CancelHandle(const CancelHandle&) = delete;
    CancelHandle& operator=(const CancelHandle&) = delete;

    void Signal();
    void Reset();
    bool signalled() const;
    // What a wait can include: the descriptor that becomes readable when signalled (for
    // poll), or on Windows the event that becomes set.
    intptr_t native() const { return native_; }

private:
    intptr_t native_ = -1;
};

}  // namespace korvex
