// Period slides without a musical limit (portamento down, the fine portamentos) would
// overflow after hours of sliding; they stop at a bound far beyond any audible period
// (both frequency tables are at their 100 Hz floor long before it).
#pragma once
#include <cstdint>

constexpr int32_t period_slide_bound = 1 << 30;

inline int32_t period_slide(int32_t period, int32_t amount) {
    const int64_t moved = int64_t{period} + amount;
    if (moved > period_slide_bound)
        return period_slide_bound;
    if (moved < -period_slide_bound)
        return -period_slide_bound;
    return static_cast<int32_t>(moved);
}
