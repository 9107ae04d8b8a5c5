// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "files/RecordingWriter.h"

// The benchmarks' long live recording: 15 channels of values spread over the whole range
// (-100 to 100), written as the live writer writes them. The worst case for reading
// (every number has its sign and two or three digits) and for drawing (every stretch
// of rows spans the plot).
inline std::string WriteRandomRecording(const std::string& path, long rows, int channels = 15,
                                        unsigned seed = 1) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<std::string> names;
    for (int c = 0; c < channels; ++c) names.push_back("ch" + std::to_string(c));
    korvex::WriteLiveHeader(f, "COM1", names, 3);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-100.0, 100.0);
    std::vector<char> buf(size_t(channels) * korvex::kLiveRowBytesPerValue + 2);
    std::vector<double> v(static_cast<size_t>(channels), 0.0);
    for (long r = 0; r < rows; ++r) {
        for (double& x : v) x = d(rng);
        std::fwrite(buf.data(), 1, korvex::FormatLiveRow(v.data(), channels, buf.data()), f);
    }
    std::fclose(f);
    return path;
}
