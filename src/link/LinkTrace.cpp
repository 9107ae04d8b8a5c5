// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkTrace.h"

namespace korvex {

namespace {
LinkTraceFn g_trace;
}

void SetLinkTrace(LinkTraceFn fn) {
    g_trace = std::move(fn);
}

void LinkTrace(bool transmitted, const uint8_t* bytes, size_t n) {
    if (g_trace && n) g_trace(transmitted, bytes, n);
}

}  // namespace korvex
