// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace korvex {

// An observer of the frames on the wire (korvex-cli --trace): each ModBus request and
// answer, and each mode-switch frame, once as a whole. Called on the thread that made
// the exchange; the observer must be set while no exchange runs.
using LinkTraceFn = std::function<void(bool transmitted, const uint8_t* bytes, size_t n)>;

void SetLinkTrace(LinkTraceFn fn);
void LinkTrace(bool transmitted, const uint8_t* bytes, size_t n);

}  // namespace korvex
