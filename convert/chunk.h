#pragma once
// The unit of transfer between the dump reader, the sample writer and the driver's loop.

#include <cstddef>

// A whole number of 16-bit (3072) and of 24-bit (2048) samples, so a full chunk never
// splits a sample.
inline constexpr std::size_t kChunkBytes = 6144;
