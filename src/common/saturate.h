#pragma once
// Double to int32_t, truncated toward zero and saturated at the type's
// bounds (NaN gives 0), so that no input can make the conversion undefined.

#include <cstdint>

inline int32_t SaturateToInt32(double v) {
    if (!(v == v)) {
        return 0;
    }
    if (v >= 2147483647.0) {
        return INT32_MAX;
    }
    if (v <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(v);
}
