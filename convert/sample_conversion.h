#pragma once
// Turns a chunk of most-significant-byte-first samples into least-significant-byte-first
// ones. Both kernels always cover the whole chunk: it is a whole number of samples of
// either width, and the fixed length lets the compiler vectorise the loops. Where the
// processor has wider shuffles than the default build assumes, faster versions run
// (chosen at run time); the bytes are the same. Source and output must not overlap.

#include <cstdint>
#include <span>

#include "convert/chunk.h"

// Swaps the two bytes of every 16-bit sample.
void swapSampleBytes16(std::span<const std::uint8_t, kChunkBytes> source, std::span<std::uint8_t, kChunkBytes> output);

// Reverses the three bytes of every 24-bit sample.
void reverseSampleBytes24(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output);
