#pragma once

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
    // The descriptor that becomes readable when signalled (for poll).
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace korvex
