// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "files/RecordingData.h"
#include "files/RecordingInfo.h"

namespace korvex {

// One channel's samples over a time window, as every analysis takes them: `count`
// values `step` seconds apart, the first at `start` seconds from the recording's first
// row (the times the viewer shows). The values belong to the caller and must outlive
// the analysis.
struct SignalWindow {
    const double* values = nullptr;
    size_t count = 0;
    double step = 1;
    double start = 0;

    double TimeAt(double index) const { return start + index * step; }
    double end() const { return count ? TimeAt(double(count - 1)) : start; }
};

// Every analysis needs at least this many samples.
constexpr size_t kMinAnalysisSamples = 20;

// A channel named on a command line: its "#NAME=" name, else its number from 1. -1 when
// neither names one.
int FindChannel(const RecordingInfo& info, std::string_view name_or_number);

// The samples of `channel` in rows [begin, end) of a loaded recording (RowsBetween
// turns times into rows); the window points into `data`'s column.
SignalWindow ChannelWindow(const RecordingData& data, int channel, size_t begin, size_t end);

// The checks every analysis makes first. False with a message by the buffer rule (Russian
// too): "Too few samples to analyse: %zu (at least 20)", "The recording's time step is
// not positive", "Not a number at %.6f s" (also for infinities).
bool CheckWindow(const SignalWindow& window, std::string* err_text);

// "Not enough memory to analyse" (Russian too): what every analysis, and whoever runs
// one, says when an allocation fails.
const char* NoMemoryToAnalyseText();

}  // namespace korvex
