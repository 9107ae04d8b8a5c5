// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// A new folder of its own for a benchmark's files, made from a mkdtemp pattern such as
// "/tmp/korvex-bench-XXXXXX". A folder that cannot be made ends the program with the
// reason and status 1: every figure after it would be measured on nothing.
inline std::string MakeBenchDir(const char* pattern) {
    std::string path = pattern;
    if (!mkdtemp(path.data())) {
        std::fprintf(stderr, "korvex bench: cannot create a folder from %s: %s\n", pattern,
                     std::strerror(errno));
        std::exit(1);
    }
    return path;
}
