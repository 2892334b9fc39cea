#pragma once
// Samples to 16 bits as every careful player does it, and as WavReader's 16-bit reads
// do: rounded to nearest, halves up, and clipped; never truncated.

#include <algorithm>
#include <cmath>
#include <cstdint>

// A signed sample `bits` wide (at most 32).
inline std::int16_t integerToInt16(std::int32_t value, unsigned bits)
{
    if (bits <= 16) {
        return static_cast<std::int16_t>(value * (1 << (16 - bits)));
    }
    const unsigned drop = bits - 16;
    const std::int64_t rounded = (std::int64_t{value} + (std::int64_t{1} << (drop - 1))) >> drop;
    return static_cast<std::int16_t>(std::min<std::int64_t>(rounded, 32767));
}

// Full scale is 1: x * 32768; NaN is 0.
inline std::int16_t floatToInt16(float value)
{
    if (std::isnan(value)) {
        return 0;
    }
    const double scaled = std::floor(double{value} * 32768.0 + 0.5);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}
