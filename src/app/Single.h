// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace korvex {

// A value rounded to single precision, as the regulator's data are held and as the
// recordings print them. The store through volatile makes the rounding happen where
// the code says: GCC's C++ excess-precision rules otherwise let the optimiser keep a
// float in double precision across the conversion, which changes printed digits.
inline float ToSingle(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}

}  // namespace korvex
