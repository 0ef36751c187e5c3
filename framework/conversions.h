// Defined conversions from float64 to integers. Gauge code never casts a
// double straight to an integer type: a cast is undefined for not-a-number,
// infinities and values out of range, and those reach the gauges from host
// variables.
#pragma once

#include <cstdint>

namespace gauge {

// Truncates toward zero. A value with no truncated integer in range
// (not-a-number, an infinity, or beyond int32) gives 0.
constexpr int32_t truncateToInt32(double value)
{
    // Comparisons with not-a-number are false, so it falls through to 0.
    if (value > -2147483649.0 && value < 2147483648.0)
        return static_cast<int32_t>(value);
    return 0;
}

// As truncateToInt32, over the int64 range.
constexpr int64_t truncateToInt64(double value)
{
    if (value >= -9223372036854775808.0 && value < 9223372036854775808.0)
        return static_cast<int64_t>(value);
    return 0;
}

// Keeps value within lowest .. highest; not-a-number goes to lowest, as
// a needle or pointer falls to its lower stop without a signal.
constexpr double clampToScale(double value, double lowest, double highest)
{
    if (value > highest)
        return highest;
    if (!(value >= lowest))
        return lowest;
    return value;
}

} // namespace gauge
