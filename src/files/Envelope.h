// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

namespace korvex {

// The minimum and maximum of one column over blocks of 16, 256, 4096 … samples, so that
// the extremes over any row range cost a few dozen steps whatever its length. A view
// draws each pixel column from them: 600,000 rows cost what 4000 do, and a single-sample
// spike is in every level and so in every pixel column that covers it.
//
// Holds a pointer to the column, which must outlive it. Values that are not numbers are
// left out. Built by one thread; read by any number afterwards. Never throws.
class Envelope {
public:
    static constexpr size_t kFactor = 16;

    // false when memory for the levels ran out: the envelope is then empty (MinMax finds
    // nothing) and the caller reports the shortage.
    bool Build(const double* values, size_t count);
    // The column grew from count() to `count` rows and may have moved to `values`: the
    // levels are brought up to date in time proportional to the new rows (the last
    // partial block of each level is worked out again). A smaller count builds anew.
    // false as for Build.
    bool Extend(const double* values, size_t count);
    size_t count() const { return count_; }

    // Extremes over rows [begin, end); false (and lo > hi) when the range holds no number.
    bool MinMax(size_t begin, size_t end, double* lo, double* hi) const;

    // Memory held by the levels, in bytes.
    size_t bytes() const;

private:
    struct Level {
        size_t block = 0;  // samples per entry
        std::vector<double> lo, hi;
    };
    // Levels over `count` samples of which those before `from` are unchanged since the
    // levels were made. Throws std::bad_alloc.
    void ExtendLevels(const double* values, size_t from, size_t count);
    const double* values_ = nullptr;
    size_t count_ = 0;
    std::vector<Level> levels_;
};

}  // namespace korvex
