// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/Envelope.h"

#include <exception>
#include <limits>

namespace korvex {

bool Envelope::Build(const double* values, size_t count) {
    levels_.clear();
    count_ = 0;
    return Extend(values, count);
}

bool Envelope::Extend(const double* values, size_t count) {
    if (count < count_) {
        levels_.clear();
        count_ = 0;
    }
    const size_t from = count_;
    values_ = values;
    count_ = count;
    try {
        ExtendLevels(values, from, count);
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

void Envelope::ExtendLevels(const double* values, size_t from, size_t count) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    // Level 0 from the samples, every further level from the one below it, each from the
    // block that holds the first entry changed below it: a partial block at the end keeps
    // the extremes of the samples it has and is worked out again as it fills.
    size_t below_size = count, changed = from;
    for (size_t l = 0; below_size > kFactor; ++l) {
        const size_t n = (below_size + kFactor - 1) / kFactor;
        size_t first = changed / kFactor;
        if (l == levels_.size()) {
            Level level;
            level.block = l == 0 ? kFactor : levels_[l - 1].block * kFactor;
            levels_.push_back(std::move(level));
            first = 0;
        }
        Level& level = levels_[l];
        level.lo.resize(n);
        level.hi.resize(n);
        const double* lo_in = l == 0 ? values : levels_[l - 1].lo.data();
        const double* hi_in = l == 0 ? values : levels_[l - 1].hi.data();
        for (size_t b = first; b < n; ++b) {
            double lo = kInf, hi = -kInf;
            const size_t end = (b + 1) * kFactor < below_size ? (b + 1) * kFactor : below_size;
            for (size_t i = b * kFactor; i < end; ++i) {
                lo = lo_in[i] < lo ? lo_in[i] : lo;
                hi = hi_in[i] > hi ? hi_in[i] : hi;
            }
            level.lo[b] = lo;
            level.hi[b] = hi;
        }
        changed = first;
        below_size = n;
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
