// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CancelHandle.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace korvex {

CancelHandle::CancelHandle() : native_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelHandle::~CancelHandle() {
    if (native_ >= 0) close(int(native_));
}

void CancelHandle::Signal() {
    uint64_t one = 1;
    (void)!write(int(native_), &one, sizeof one);
}

void CancelHandle::Reset() {
    uint64_t value;
    (void)!read(int(native_), &value, sizeof value);
}

bool CancelHandle::signalled() const {
    pollfd p{int(native_), POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

}  // namespace korvex
