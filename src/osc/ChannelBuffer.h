// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>

namespace korvex {

// The newest 4000 values of one channel, index 0 oldest and 3999 newest, as the plots
// take them. Kept as a ring and copied out in order when drawn.
class ChannelBuffer {
public:
    static constexpr size_t kSize = 4000;

    // Every entry set to v (the first row after set-up draws a flat line).
    void Fill(double v) {
        values_.fill(v);
        head_ = 0;
    }
    // The values move one place towards index 0 and v becomes index 3999.
    void Push(double v) {
        values_[head_] = v;
        head_ = (head_ + 1) % kSize;
    }
    double operator[](size_t i) const { return values_[(head_ + i) % kSize]; }
    double newest() const { return (*this)[kSize - 1]; }
    // Writes the 4000 values in index order.
    template <typename Out>
    void CopyOut(Out* out) const {
        size_t k = 0;
        for (size_t i = head_; i < kSize; ++i) out[k++] = values_[i];
        for (size_t i = 0; i < head_; ++i) out[k++] = values_[i];
    }

private:
    std::array<double, kSize> values_{};
    size_t head_ = 0;  // position of index 0
};

}  // namespace korvex
