#pragma once
// Float samples to 16 bits as every careful player does it (and sox -D): rounded to
// nearest, halves up, and clipped; never truncated. Integer samples are narrowed by
// WavReader's own 16-bit reads, with halves up too.

#include <algorithm>
#include <cmath>
#include <cstdint>

// Full scale is 1: x * 32768; NaN is 0. Taken as double, so that 64-bit float samples
// are rounded from their own value (a float argument converts exactly).
inline std::int16_t floatToInt16(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    const double scaled = std::floor(value * 32768.0 + 0.5);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}
