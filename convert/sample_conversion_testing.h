#pragma once
// Test hook of the sample conversion: the kernels that run where the processor offers no
// faster instructions, so that tests check them also on machines that choose others.

#include <cstdint>
#include <span>

#include "convert/chunk.h"

void swapSampleBytes16Portable(std::span<const std::uint8_t, kChunkBytes> source,
                               std::span<std::uint8_t, kChunkBytes> output);
void reverseSampleBytes24Portable(std::span<const std::uint8_t, kChunkBytes> source,
                                  std::span<std::uint8_t, kChunkBytes> output);
void reverseSampleBytes32Portable(std::span<const std::uint8_t, kChunkBytes> source,
                                  std::span<std::uint8_t, kChunkBytes> output);
void reverseSampleBytes64Portable(std::span<const std::uint8_t, kChunkBytes> source,
                                  std::span<std::uint8_t, kChunkBytes> output);
void packSamples24In32Portable(std::span<const std::uint8_t, kChunkBytes> source,
                               std::span<std::uint8_t, kChunkBytes> output, bool littleEndian);
