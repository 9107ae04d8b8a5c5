// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "app/CancelHandle.h"

namespace korvex {

// A manual-reset event: set by Signal(), cleared by Reset(); the port layer waits on it
// beside the receive's event.
CancelHandle::CancelHandle()
    : native_(reinterpret_cast<intptr_t>(CreateEventA(nullptr, TRUE, FALSE, nullptr))) {}

CancelHandle::~CancelHandle() {
    if (native_ && native_ != -1) CloseHandle(reinterpret_cast<HANDLE>(native_));
}

void CancelHandle::Signal() {
    SetEvent(reinterpret_cast<HANDLE>(native_));
}

void CancelHandle::Reset() {
    ResetEvent(reinterpret_cast<HANDLE>(native_));
}

bool CancelHandle::signalled() const {
    return WaitForSingleObject(reinterpret_cast<HANDLE>(native_), 0) == WAIT_OBJECT_0;
}

}  // namespace korvex
