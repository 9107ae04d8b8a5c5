// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/Envelope.h"

#include <exception>
#include <limits>

namespace korvex {

bool Envelope::Build(const double* values, size_t count) {
    values_ = values;
    count_ = count;
    levels_.clear();
    try {
        BuildLevels(values, count);
        return true;
    } catch (const std::exception&) {
        // Only the levels' allocations throw; the envelope of a channel in part would
        // draw a wrong trace, so it holds nothing at all.
        levels_ = std::vector<Level>();
        values_ = nullptr;
        count_ = 0;
        return false;
    }
}

void Envelope::BuildLevels(const double* values, size_t count) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    // Level 0 from the samples, every further level from the one below it. A partial
    // block at the end is kept: its extremes are those of the samples it has.
    size_t n = (count + kFactor - 1) / kFactor;
    if (count <= kFactor) return;
    Level first;
    first.block = kFactor;
    first.lo.resize(n);
    first.hi.resize(n);
    for (size_t b = 0; b < n; ++b) {
        double lo = kInf, hi = -kInf;
        size_t end = (b + 1) * kFactor < count ? (b + 1) * kFactor : count;
        for (size_t i = b * kFactor; i < end; ++i) {
            double v = values[i];
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        first.lo[b] = lo;
        first.hi[b] = hi;
    }
    levels_.push_back(std::move(first));
    while (levels_.back().lo.size() > kFactor) {
        const Level& below = levels_.back();
        size_t m = (below.lo.size() + kFactor - 1) / kFactor;
        Level next;
        next.block = below.block * kFactor;
        next.lo.resize(m);
        next.hi.resize(m);
        for (size_t b = 0; b < m; ++b) {
            double lo = kInf, hi = -kInf;
            size_t end = (b + 1) * kFactor < below.lo.size() ? (b + 1) * kFactor : below.lo.size();
            for (size_t i = b * kFactor; i < end; ++i) {
                lo = below.lo[i] < lo ? below.lo[i] : lo;
                hi = below.hi[i] > hi ? below.hi[i] : hi;
            }
            next.lo[b] = lo;
            next.hi[b] = hi;
        }
        levels_.push_back(std::move(next));
    }
}

bool Envelope::MinMax(size_t begin, size_t end, double* lo_out, double* hi_out) const {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    double lo = kInf, hi = -kInf;
    if (end > count_) end = count_;
    // Whole blocks of the coarsest level that fits, the rest of each edge from the level
    // below, down to single samples: at most 2 × 15 steps per level.
    auto samples = [&](size_t a, size_t b) {
        for (size_t i = a; i < b; ++i) {
            double v = values_[i];
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
    };
    auto blocks = [&](const Level& l, size_t a, size_t b) {
        for (size_t i = a; i < b; ++i) {
            lo = l.lo[i] < lo ? l.lo[i] : lo;
            hi = l.hi[i] > hi ? l.hi[i] : hi;
        }
    };
    // Recursive descent from the top: [begin, end) split at the block boundaries of each
    // level in turn.
    struct Span {
        size_t a, b;
    };
    Span left{begin, begin}, right{end, end};  // edge parts not yet covered
    if (begin < end) {
        int top = int(levels_.size()) - 1;
        while (top >= 0) {
            size_t block = levels_[size_t(top)].block;
            size_t first = (begin + block - 1) / block, last = end / block;
            if (first < last) {
                blocks(levels_[size_t(top)], first, last);
                left = {begin, first * block};
                right = {last * block, end};
                break;
            }
            --top;
        }
        if (top < 0) {
            samples(begin, end);
        } else {
            for (int l = top - 1; l >= 0; --l) {
                const Level& level = levels_[size_t(l)];
                size_t block = level.block;
                size_t lf = (left.a + block - 1) / block, ll = left.b / block;
                if (lf < ll) {
                    blocks(level, lf, ll);
                    left.b = lf * block;
                }
                size_t rf = (right.a + block - 1) / block, rl = right.b / block;
                if (rf < rl) {
                    blocks(level, rf, rl);
                    right.a = rl * block;
                }
            }
            samples(left.a, left.b);
            samples(right.a, right.b);
        }
    }
    *lo_out = lo;
    *hi_out = hi;
    return lo <= hi;
}

size_t Envelope::bytes() const {
    size_t n = 0;
    for (const Level& l : levels_) n += (l.lo.capacity() + l.hi.capacity()) * sizeof(double);
    return n;
}

}  // namespace korvex
